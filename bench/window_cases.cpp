#include "cases.h"

#include "textbox/text_box.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>

#include <atomic>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {
constexpr int kLaunches = 9;
constexpr int kLaunchTimeoutMs = 20000;
constexpr int kClicks = 300;
constexpr auto kBetweenClicks = std::chrono::milliseconds(3);
constexpr auto kClickTimeout = std::chrono::seconds(2);
constexpr qint64 kBigLogBytes = 64 * kMiB;
constexpr qint64 kLongLineCharacters = 100 * 1000 * 1000;
constexpr int kTries = 5;
// A receive ceiling past anything the cases below put in the box, so that nothing is dropped.
constexpr qint64 kNoCeiling = qint64(1) << 40;
// What an int holds of pixels, and how far past it the wide line goes: an eighth more, so that a width
// measured a little differently from the box's is still past it.
constexpr qint64 kIntPixels = qint64(1) << 31;
constexpr qint64 kWidePastInt = kIntPixels / 8;
// Lines in the many-lines case: at the box's line height (16 to 18 pixels) 200 M lines are 3.2 to
// 3.6 G pixels tall, far past the 2.1 G an int holds.
constexpr qsizetype kManyLines = 200 * 1000 * 1000;

// Milliseconds from starting the console to its window being shown, or a negative number.
double launchOnce()
{
    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(SHOWN_PROBE_DIR));
    environment.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("shownprobe"));
    console.setProcessEnvironment(environment);
    const qint64 startNs = monotonicNs();
    console.start(QStringLiteral(CONSOLE_BINARY), {});
    if (!console.waitForFinished(kLaunchTimeoutMs)) {
        console.kill();
        console.waitForFinished();
        return -1;
    }
    static const QRegularExpression shown(QStringLiteral(R"(window-shown (\d+))"));
    const QRegularExpressionMatch match = shown.match(QString::fromLocal8Bit(console.readAllStandardError()));
    return match.hasMatch() ? double(match.captured(1).toLongLong() - startNs) / 1e6 : -1;
}

// Watches the far end of a pseudo-terminal from its own thread and notes the monotonic time at which
// bytes become readable there; what arrives is read and dropped.
struct ArrivalWatcher
{
    explicit ArrivalWatcher(int fd)
        : thread([this, fd] {
              char buffer[4096];
              while (!stop) {
                  pollfd readable{fd, POLLIN, 0};
                  if (::poll(&readable, 1, 50) <= 0)
                      continue;
                  lastArrivalNs = monotonicNs();
                  ++arrivals;
                  if (::read(fd, buffer, sizeof buffer) <= 0)
                      return;
              }
          })
    {}
    ~ArrivalWatcher()
    {
        stop = true;
        thread.join();
    }

    std::atomic<bool> stop{false};
    std::atomic<qint64> lastArrivalNs{0};
    std::atomic<int> arrivals{0}; // how many times bytes have become readable
    std::thread thread;
};

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

std::function<void()> press(TextBox *box, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    return [=] { QTest::keyClick(box, key, modifiers); };
}

std::function<void()> click(TextBox *box, QPoint at)
{
    return [=] { QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, at); };
}

// Whether the middle of a rectangle, in viewport coordinates, is in view.
bool inView(const TextBox *box, const QRect &rect)
{
    return box->viewport()->rect().contains(rect.center());
}
} // namespace

Figures startupCase()
{
    std::vector<double> launches;
    for (int i = 0; i < kLaunches; ++i) {
        launches.push_back(launchOnce());
        if (launches.back() < 0)
            qFatal("the console did not show its window");
    }
    return {{"shown_median_ms", median(launches)}, {"shown_max_ms", maximum(launches)}};
}

Figures clickCase()
{
    Session session(Link::Serial);
    ArrivalWatcher watcher(session.pty().master());
    std::vector<double> latencies;
    for (int i = 0; i < kClicks; ++i) {
        // Let the window finish what the last click started (repainting the send box).
        settle(kBetweenClicks);
        const int before = watcher.arrivals;
        const qint64 clickNs = monotonicNs();
        session.fixture.click("Command8");
        if (!runUntil([&] { return watcher.arrivals > before; }, kClickTimeout).done)
            qFatal("the AT command never reached the line");
        latencies.push_back(double(watcher.lastArrivalNs - clickNs) / 1e6);
    }
    return {{"click_median_ms", median(latencies)}, {"click_max_ms", maximum(latencies)}};
}

Figures bigLogCase()
{
    Session session(Link::Serial);
    TextBox *box = session.box();
    settle();
    session.fill(floodBytes(Shape::Lines, kBigLogBytes));
    box->setFocus();
    settle(std::chrono::milliseconds(50)); // the last frame is painted

    Figures figures;
    const QPoint middle = box->viewport()->rect().center();
    const auto key = [box](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return [=] { QTest::keyClick(box, key, modifiers); };
    };
    figures["home_ms"] = slowestMs(box, key(Qt::Key_Home, Qt::ControlModifier));
    figures["end_ms"] = slowestMs(box, key(Qt::Key_End, Qt::ControlModifier));
    figures["page_up_ms"] = slowestMs(box, key(Qt::Key_PageUp));
    figures["page_down_ms"] = slowestMs(box, key(Qt::Key_PageDown));
    figures["click_ms"] =
        slowestMs(box, [&] { QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, middle); });
    QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
    figures["type_ms"] = slowestMs(box, key(Qt::Key_X));

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
    const Turns copy = runUntil([&] { return clipboard->text().size() == held; }, std::chrono::seconds(90));
    figures["copy_ms"] = double(sinceKey.nsecsElapsed()) / 1e6;
    figures["copy_gap_ms"] = copy.longestGapMs;
    figures["copy_whole"] = copy.done && clipboard->text() == box->toPlainText();
    return figures;
}

Figures longLineCase()
{
    Session session(Link::Serial);
    TextBox *box = session.box();
    QString piece(kMiB, Qt::Uninitialized);
    for (qsizetype i = 0; i < piece.size(); ++i)
        piece[i] = QChar(i % 97 == 0 ? u'\t' : char16_t(u'a' + i % 26));
    box->append(QStringLiteral("ready\r\n"), TextBox::Caret::Keep);
    for (qsizetype held = 0; held < kLongLineCharacters; held += piece.size())
        box->append(piece, TextBox::Caret::Keep);
    box->setFocus();
    settle(std::chrono::milliseconds(50));

    Figures figures;
    QScrollBar *bar = box->horizontalScrollBar();
    const auto key = [box](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return [=] { QTest::keyClick(box, key, modifiers); };
    };
    const qsizetype end = box->length();
    const qsizetype lineStart = box->lineStart(1);
    figures["end_ms"] = slowestMs(box, key(Qt::Key_End, Qt::ControlModifier));
    bool right = box->cursorPosition() == end && bar->value() == bar->maximum() && bar->maximum() > 0 &&
                 box->viewport()->rect().contains(box->cursorRect().center());
    const QPoint drawn = box->cursorRect().center();
    figures["home_ms"] = slowestMs(box, key(Qt::Key_Home));
    right = right && box->cursorPosition() == lineStart && bar->value() == 0;
    figures["line_end_ms"] = slowestMs(box, key(Qt::Key_End));
    right = right && box->cursorPosition() == end;
    figures["start_ms"] = slowestMs(box, key(Qt::Key_Home, Qt::ControlModifier));
    right = right && box->cursorPosition() == 0;
    figures["scroll_ms"] = slowestMs(box, [bar] { bar->setValue(bar->maximum()); });
    figures["click_ms"] =
        slowestMs(box, [&] { QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, drawn); });
    right = right && box->cursorPosition() == end;
    figures["select_ms"] = slowestMs(box, key(Qt::Key_Home, Qt::ShiftModifier));
    right = right && box->cursorPosition() == lineStart && box->anchorPosition() == end;
    figures["right"] = right;
    return figures;
}

Figures wideLineCase()
{
    Session session(Link::Serial, kNoCeiling);
    TextBox *box = session.box();
    // Letters alone: a tab's width depends on where it stands, a letter's does not, so the line is as
    // wide as its pieces.
    QString piece(kMiB, Qt::Uninitialized);
    for (qsizetype i = 0; i < piece.size(); ++i)
        piece[i] = QChar(char16_t(u'a' + i % 26));
    const qreal pieceWidth = QFontMetricsF(box->font()).horizontalAdvance(piece);
    box->append(QStringLiteral("ready\r\n"), TextBox::Caret::Keep);
    qreal width = 0;
    for (; width <= qreal(kIntPixels + kWidePastInt); width += pieceWidth)
        box->append(piece, TextBox::Caret::Keep);
    box->setFocus();
    settle(std::chrono::milliseconds(50));

    Figures figures;
    figures["characters_m"] = double(box->lineLength(1)) / 1e6;
    figures["width_ratio"] = width / qreal(kIntPixels);
    QScrollBar *bar = box->horizontalScrollBar();
    const qsizetype end = box->length();
    const qsizetype lineStart = box->lineStart(1);
    figures["end_ms"] = slowestMs(box, press(box, Qt::Key_End, Qt::ControlModifier));
    bool right = box->cursorPosition() == end && inView(box, box->cursorRect());
    figures["home_ms"] = slowestMs(box, press(box, Qt::Key_Home));
    right =
        right && box->cursorPosition() == lineStart && bar->value() == 0 && inView(box, box->cursorRect());
    figures["line_end_ms"] = slowestMs(box, press(box, Qt::Key_End));
    right = right && box->cursorPosition() == end && inView(box, box->cursorRect());
    figures["click_ms"] = slowestMs(box, click(box, box->cursorRect().center()));
    right = right && box->cursorPosition() == end;
    QTest::keyClick(box, Qt::Key_Home, Qt::ControlModifier);
    figures["scroll_ms"] = slowestMs(box, [bar] { bar->setValue(bar->maximum()); });
    right = right && bar->maximum() > 0 && inView(box, box->characterRect(end));
    figures["right"] = right;
    return figures;
}

Figures manyLinesCase()
{
    Session session(Link::Serial, kNoCeiling);
    TextBox *box = session.box();
    QString piece(kMiB, Qt::Uninitialized);
    for (qsizetype i = 0; i < piece.size(); ++i)
        piece[i] = QChar(i % 2 == 0 ? u'x' : u'\n');
    while (box->lineCount() <= kManyLines)
        box->append(piece, TextBox::Caret::Keep);
    box->setFocus();
    settle(std::chrono::milliseconds(50));

    Figures figures;
    figures["lines_m"] = double(box->lineCount()) / 1e6;
    QScrollBar *bar = box->verticalScrollBar();
    figures["end_ms"] = slowestMs(box, press(box, Qt::Key_End, Qt::ControlModifier));
    bool right = box->cursorPosition() == box->length() && inView(box, box->cursorRect());
    figures["start_ms"] = slowestMs(box, press(box, Qt::Key_Home, Qt::ControlModifier));
    right = right && box->cursorPosition() == 0 && bar->value() == 0 && inView(box, box->cursorRect());
    // The caret stays on the first line while the view goes to the last: an input method asking
    // where the caret is must hear that it is far above the box.
    figures["scroll_ms"] = slowestMs(box, [bar] { bar->setValue(bar->maximum()); });
    const QRect said = box->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    figures["caret_above"] = box->cursorPosition() == 0 && bar->value() == bar->maximum() &&
                             said.bottom() < box->viewport()->geometry().top();
    figures["click_ms"] = slowestMs(box, click(box, box->viewport()->rect().center()));
    // A click in the middle of the last screenful lands less than a screenful from the last line.
    const qreal screenful = box->viewport()->height() / QFontMetricsF(box->font()).lineSpacing();
    right = right && qreal(box->lineCount() - 1 - box->lineOf(box->cursorPosition())) < screenful;
    figures["right"] = right;
    return figures;
}
