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
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
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
constexpr int kMixedScriptLines = 2000;
// A receive ceiling past anything the cases below put in the box, so that nothing is dropped.
constexpr qint64 kNoCeiling = qint64(1) << 40;
// What an int holds of pixels, and how far past it the wide line goes: an eighth more, so that a width
// measured a little differently from the box's is still past it.
constexpr qint64 kIntPixels = qint64(1) << 31;
constexpr qint64 kWidePastInt = kIntPixels / 8;
// Lines in the many-lines case: at the box's line height (16 to 18 pixels) 200 M lines are 3.2 to
// 3.6 G pixels tall, far past the 2.1 G an int holds.
constexpr qsizetype kManyLines = 200 * 1000 * 1000;
constexpr int kAnswers = 200;
constexpr int kShortestPauseMs = 20;
constexpr int kLongestPauseMs = 120;
constexpr auto kAnswersTimeout = std::chrono::seconds(90);
// The flooded box is cleared whenever it holds this much, so that the flood never meets its ceiling,
// which would hold the client back and end the flood.
constexpr qint64 kFloodClearBytes = 32 * kMiB;
// What the flooding client sends, more than it can send while the answers come (made as it is sent:
// the buffer only gives the size and is never touched, so it takes address space, not memory).
constexpr qint64 kFloodSize = qint64(16) << 30;
// Bytes a second the flooding client sends: a hundred times what a module sends over Wi-Fi.
constexpr double kFloodRate = 32.0 * kMiB;

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

// What answer `i` says: unique, so that the paint that shows it is told from the one before.
QByteArray answerText(int i)
{
    return QByteArray("+IPD,6:") + QByteArray::number(i).rightJustified(6, '0');
}

// Writes short answers into a descriptor from a thread of its own, at random moments (a fixed seed: every
// run the same), noting the monotonic time of each write just before it is made.
struct AnswerWriter
{
    explicit AnswerWriter(int fd)
        : writtenNs(kAnswers), thread([this, fd] {
              std::mt19937 engine(8266);
              std::uniform_int_distribution<int> pauseMs(kShortestPauseMs, kLongestPauseMs);
              for (int i = 0; i < kAnswers && !stop; ++i) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(engine)));
                  const QByteArray line = answerText(i) + "\r\n";
                  writtenNs[size_t(i)] = monotonicNs();
                  // Counted before the write: the console may read and paint the answer before this
                  // thread runs again, and a paint of an answer not yet counted would go unseen.
                  written = i + 1;
                  if (::write(fd, line.constData(), size_t(line.size())) != line.size())
                      return;
              }
          })
    {}
    ~AnswerWriter()
    {
        stop = true;
        thread.join();
    }

    std::vector<qint64> writtenNs; // each read only once `written` counts it
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::thread thread;
};

// Calls `painting` whenever a widget is about to paint itself.
class PaintWatch : public QObject
{
public:
    PaintWatch(QWidget *widget, std::function<void()> painting) : m_painting(std::move(painting))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_painting();
        return false;
    }

private:
    std::function<void()> m_painting;
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

// Lines of a log a user pastes: Latin, Chinese, Cyrillic, Arabic, Devanagari, combining marks and
// emoji, each line starting at another piece so that no two neighbours are alike, and each wider
// than the box.
QString mixedScriptLines(int count)
{
    static const QString pieces[] = {
        QStringLiteral("AT+CWJAP=\"Café\",\"pässwörd\" "),
        QStringLiteral("数据接收成功，连接已建立 "),
        QStringLiteral("Привет, модуль готов "),
        QStringLiteral("مرحبا بالعالم 2024 "),
        QStringLiteral("नमस्ते दुनिया क्षत्रिय "),
        QStringLiteral("e\u0301 a\u0308 o\u0323\u0302 n\u0303 "),
        QStringLiteral("\U0001F44D\U0001F3FD \U0001F468\u200D\U0001F4BB \u2705 "),
    };
    const int kinds = int(std::size(pieces));
    QString text;
    for (int line = 0; line < count; ++line) {
        for (int i = 0; i < 2 * kinds; ++i)
            text += pieces[(line + i) % kinds];
        text += QStringLiteral("%1\r\n").arg(line);
    }
    return text;
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

Figures mixedScriptCase()
{
    Session session(Link::Serial);
    TextBox *box = session.box();
    box->setFocus();
    QGuiApplication::clipboard()->setText(mixedScriptLines(kMixedScriptLines));
    settle(std::chrono::milliseconds(50));

    Figures figures;
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    box->viewport()->repaint();
    figures["paste_ms"] = double(clock.nsecsElapsed()) / 1e6;
    bool right = box->lineCount() == kMixedScriptLines + 1;
    figures["page_up_ms"] = slowestMs(box, press(box, Qt::Key_PageUp));
    figures["line_end_ms"] = slowestMs(box, [box] {
        QTest::keyClick(box, Qt::Key_Down);
        QTest::keyClick(box, Qt::Key_End);
    });
    right = right && box->horizontalScrollBar()->value() > 0 && inView(box, box->cursorRect());
    figures["line_start_ms"] = slowestMs(box, [box] {
        QTest::keyClick(box, Qt::Key_Down);
        QTest::keyClick(box, Qt::Key_Home);
    });
    QScrollBar *bar = box->horizontalScrollBar();
    figures["sideways_ms"] = slowestMs(box, [box, bar] {
        QTest::keyClick(box, Qt::Key_PageDown);
        bar->setValue(bar->value() + bar->pageStep());
    });
    figures["right"] = right && bar->value() > 0;
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

Figures answerCase(Link link, bool flood)
{
    Session session(link);
    TextBox *box = session.box();
    std::unique_ptr<QTcpSocket> client;
    std::unique_ptr<FloodWriter> flooder;
    TextBox *flooded = nullptr;
    int answerFd = -1;
    if (link == Link::Serial) {
        answerFd = session.pty().master();
    } else {
        client = connectClient(session.port());
        answerFd = int(client->socketDescriptor());
        const int on = 1;
        ::setsockopt(answerFd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    settle();
    if (flood) {
        client = connectClient(session.fixture.startServer());
        flooded = session.fixture.textBox("Text5");
        // One MiB of lines made once and sent over and over at a steady rate: the flooding client
        // costs this machine little more than its writes, as a module at the far end of a network
        // costs it nothing. Unpaced, a loopback client and its kernel work take a core of the two
        // this bench is run on, and what the window's thread waits for is the scheduler.
        const QByteArray lines = floodBytes(Shape::Lines, kMiB);
        const qint64 startNs = monotonicNs();
        const auto repeat = [lines, startNs](char *out, qint64 offset, qint64 count) {
            const qint64 dueNs = startNs + qint64(double(offset) / kFloodRate * 1e9);
            std::this_thread::sleep_for(std::chrono::nanoseconds(std::max<qint64>(dueNs - monotonicNs(), 0)));
            for (qint64 done = 0; done < count;) {
                const qint64 at = (offset + done) % lines.size();
                const qint64 take = std::min(count - done, lines.size() - at);
                std::memcpy(out + done, lines.constData() + at, size_t(take));
                done += take;
            }
        };
        flooder = std::make_unique<FloodWriter>(int(client->socketDescriptor()),
                                                QByteArray(kFloodSize, Qt::Uninitialized), Link::Tcp, repeat);
    }

    // A paint that finds answers in the box that no paint showed before shows them; its end is taken at
    // the next turn of the event loop, once the frame it belongs to is done.
    std::vector<double> latencies;
    AnswerWriter writer(answerFd);
    int shown = 0;   // answers whose paint has ended
    int showing = 0; // answers the paint under way shows
    // How many of the answers written so far the end of the box holds, from the `first` not seen yet.
    const auto held = [&](int first) {
        const int written = writer.written;
        const qsizetype length = box->length();
        const qsizetype from = std::max<qsizetype>(0, length - 4096);
        const QString tail = box->textRange(from, length - from);
        int newest = first;
        for (int i = first; i < written; ++i) {
            if (tail.contains(QLatin1String(answerText(i))))
                newest = i + 1;
        }
        return newest;
    };
    // Beside the paint, when each answer is first found in the box at a turn of the event loop: what
    // the paint adds to that.
    std::vector<double> inBox;
    PaintWatch watch(box->viewport(), [&] {
        const int newest = held(showing);
        if (newest == showing)
            return;
        const bool queued = showing > shown;
        showing = newest;
        if (queued)
            return;
        QTimer::singleShot(0, box, [&] {
            const qint64 endNs = monotonicNs();
            for (; shown < showing; ++shown)
                latencies.push_back(double(endNs - writer.writtenNs[size_t(shown)]) / 1e6);
        });
    });
    qint64 floodedChars = 0;
    double clearMaxMs = 0;
    const Turns turns = runUntil(
        [&] {
            if (flooded && flooded->heldBytes() > kFloodClearBytes) {
                floodedChars += flooded->length();
                const qint64 startNs = monotonicNs();
                session.fixture.click("Command7");
                clearMaxMs = std::max(clearMaxMs, double(monotonicNs() - startNs) / 1e6);
            }
            const qint64 nowNs = monotonicNs();
            for (const int newest = held(int(inBox.size())); int(inBox.size()) < newest;)
                inBox.push_back(double(nowNs - writer.writtenNs[inBox.size()]) / 1e6);
            return shown == kAnswers;
        },
        kAnswersTimeout);
    if (flooded)
        floodedChars += flooded->length();
    return {{"answer_median_ms", median(latencies)},
            {"answer_p99_ms", percentile(latencies, 0.99)},
            {"answer_max_ms", maximum(latencies)},
            {"in_box_p99_ms", percentile(inBox, 0.99)},
            {"gap_max_ms", turns.longestGapMs},
            {"clear_max_ms", clearMaxMs},
            {"all_painted", shown == kAnswers},
            {"flooded_mib", double(floodedChars) / kMiB},
            {"flood_lasted", !flooder || !flooder->finished()}};
}
