#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

// A string literal with NULs inside, all of it (QStringLiteral and QString stop at the first NUL).
template <std::size_t N> QString literal(const char16_t (&text)[N])
{
    return QString::fromUtf16(text, qsizetype(N - 1));
}

// What the kernel says about this process, for checks that it neither spins, leaks descriptors nor
// grows out of proportion.
qint64 residentBytes();
qint64 peakResidentBytes();
std::chrono::milliseconds cpuTime(); // user + system, all threads
// "fd -> target" for every open descriptor, so that a leak can be shown by what it points at.
QStringList openDescriptors();

// How late the event loop gets round to a timer: the worst delay past the timer's interval seen
// between start() and stop(). A window that hangs for 300 ms while data pours in shows 300 ms here.
class LatencyProbe : public QObject
{
public:
    explicit LatencyProbe(QObject *parent = nullptr);
    void start();
    void stop();
    std::chrono::milliseconds worst() const { return std::chrono::milliseconds(m_worst); }
    int ticks() const { return m_ticks; }

private:
    void tick();

    static constexpr int kIntervalMs = 10;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_worst = 0;
    int m_ticks = 0;
};

// Numbered lines of mixed ASCII and Chinese text, as the module would send them in code page 936.
// Each line differs from every other, so a piece lost, doubled or moved shows up; lines of different
// lengths make reads end in the middle of two-byte characters.
namespace FloodText {
QByteArray wireLine(qint64 index); // with CR LF
QString shownLine(qint64 index);   // as a text box shows it: decoded, no line break
} // namespace FloodText

// Checks text read back from a box against the flood lines, line by line, without ever holding a
// second copy of the whole flood.
class FloodChecker
{
public:
    // One complete line as shown; false at the first one that is not the next flood line.
    bool line(const QString &shown);
    qint64 linesSeen() const { return m_next; }
    QString firstMismatch() const { return m_mismatch; }

private:
    qint64 m_next = 0;
    QString m_mismatch;
};

// A thread that writes flood lines to a descriptor until `totalBytes` have gone out or stop() is
// called, blocking in poll() while the reader is behind. With closeWhenDone the descriptor is closed
// by the thread the moment the last byte is written: the far end going away in the middle of a flood.
class FloodWriter
{
public:
    FloodWriter(int fd, qint64 totalBytes, bool closeWhenDone);
    ~FloodWriter(); // stops and joins
    FloodWriter(const FloodWriter &) = delete;
    FloodWriter &operator=(const FloodWriter &) = delete;

    void stop();
    void join();
    bool finished() const { return m_finished; }
    qint64 bytesWritten() const { return m_written; }
    qint64 linesWritten() const { return m_lines; }
    int error() const { return m_error; } // errno of a failed write, 0 if none

private:
    void run(int fd, qint64 totalBytes, bool closeWhenDone);

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::atomic<qint64> m_written{0};
    std::atomic<qint64> m_lines{0};
    std::atomic<int> m_error{0};
    std::thread m_thread;
};

// A blocking loopback TCP client for a FloodWriter thread, or one that reads only when told to.
int connectLoopback(quint16 port);

// Reads from a non-blocking descriptor until `count` bytes arrived or the time is up, running the
// event loop meanwhile so that the window can go on writing.
QByteArray readFromFd(int fd, qsizetype count, int timeoutMs);

class TextBox;

// Visits a box's lines in order until `visit` returns false, without copying a box of 100 MiB whole.
void forEachLine(const TextBox &box, const std::function<bool(const QString &)> &visit);
