#include "big_log_case.h"

#include "flood_writer.h"
#include "loop_gauge.h"
#include "serial_session.h"
#include "statistics.h"

#include "textbox/text_box.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTimer>

#include <functional>

namespace {
constexpr qint64 kFillBytes = LineFlood::wholeLines(64 * LineFlood::kMiB);
constexpr int kTries = 5;
constexpr auto kTimeout = std::chrono::seconds(90);

// The slowest of a few tries of an action, each until the box has painted its answer.
double slowestMs(TextBox *box, const std::function<void()> &action)
{
    std::vector<double> times;
    for (int i = 0; i < kTries; ++i) {
        QElapsedTimer clock;
        clock.start();
        action();
        box->viewport()->repaint();
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return maximum(times);
}
} // namespace

Figures BigLogCase::run()
{
    Figures figures;
    SerialSession session;
    TextBox *box = session.receiveBox();
    LoopGauge gauge;
    gauge.settle();
    const qint64 expected = LineFlood::boxCharacters(0, kFillBytes);
    {
        FloodWriter writer(session.pty().master(), 0, kFillBytes, FloodWriter::fixedBlocks(64 * 1024));
        if (!gauge.runUntil([&] { return box->length() == expected; }, kTimeout))
            qFatal("the receive box never held the whole log");
    }
    box->setFocus();
    gauge.runUntil([] { return false; }, std::chrono::milliseconds(50)); // the last frame is painted

    const QPoint middle = box->viewport()->rect().center();
    const auto key = [box](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return [=] { QTest::keyClick(box, key, modifiers); };
    };
    figures.set(QStringLiteral("home_ms"), slowestMs(box, key(Qt::Key_Home, Qt::ControlModifier)));
    figures.set(QStringLiteral("end_ms"), slowestMs(box, key(Qt::Key_End, Qt::ControlModifier)));
    figures.set(QStringLiteral("page_up_ms"), slowestMs(box, key(Qt::Key_PageUp)));
    figures.set(QStringLiteral("page_down_ms"), slowestMs(box, key(Qt::Key_PageDown)));
    figures.set(QStringLiteral("click_ms"),
                slowestMs(box, [&] { QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, middle); }));
    QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
    figures.set(QStringLiteral("type_ms"), slowestMs(box, key(Qt::Key_X)));

    // Select all and copy from inside the event loop, so that the loop's gaps include the copy.
    const qsizetype held = box->length();
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    QElapsedTimer sinceKey;
    QTimer::singleShot(0, box, [&] {
        sinceKey.start();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
    });
    const bool copied = gauge.runUntil([&] { return clipboard->text().size() == held; }, kTimeout);
    figures.set(QStringLiteral("copy_ms"), double(sinceKey.nsecsElapsed()) / 1e6);
    figures.set(QStringLiteral("copy_gap_ms"), maximum(gauge.gapsMs()));
    figures.set(QStringLiteral("copy_whole"), copied && clipboard->text() == box->toPlainText());
    return figures;
}
