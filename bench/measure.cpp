#include "measure.h"

#include "support/console_fixture.h"
#include "textbox/huge_pages.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr qint64 kBlock = 64 * 1024;
constexpr qint64 kPage = 4096;

// After a read or write that did not go through: false when the descriptor failed, true when it may be
// ready again (it is, or a tenth of a second went by, so that a writer can see it is told to stop).
bool readyAgain(ssize_t result, int fd, short events)
{
    if (result < 0 && errno == EINTR)
        return true;
    if (result == 0 || errno != EAGAIN)
        return false;
    pollfd ready{fd, events, 0};
    return ::poll(&ready, 1, 100) >= 0;
}

bool writeAll(int fd, const QByteArray &bytes, Link link, const BlockMaker &make,
              const std::atomic<bool> &stop)
{
    std::mt19937_64 engine(8266);
    std::uniform_int_distribution<qint64> packet(1, kBlock);
    std::vector<char> made(make ? kBlock : 0);
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 start = done;
        const qint64 end = done + std::min(link == Link::Tcp ? packet(engine) : kBlock, bytes.size() - done);
        const char *block = bytes.constData() + start;
        if (make) {
            make(made.data(), start, end - start);
            block = made.data();
        }
        while (done < end) {
            const ssize_t n = ::write(fd, block + (done - start), size_t(end - done));
            if (n > 0)
                done += n;
            else if (stop || !readyAgain(n, fd, POLLOUT))
                return false;
        }
    }
    return true;
}

qint64 drain(int fd, qint64 size)
{
    std::vector<char> buffer(kBlock);
    qint64 total = 0;
    while (total < size) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0)
            total += n;
        else if (!readyAgain(n, fd, POLLIN))
            break;
    }
    return total;
}

double timedDrain(int writeFd, int readFd, const QByteArray &bytes, Link link, const BlockMaker &make)
{
    QElapsedTimer clock;
    clock.start();
    FloodWriter writer(writeFd, bytes, link, make);
    const qint64 read = drain(readFd, bytes.size());
    return mibPerSecond(read, double(clock.nsecsElapsed()) / 1e6);
}
} // namespace

Turns runUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    Turns turns;
    QEventLoop loop;
    // A turn a millisecond: a timer due at every turn would keep the loop from ever waiting, and
    // its spinning would be most of the CPU the process takes during a flood. A gap is then the
    // time from one turn to the next, a millisecond when the loop is idle.
    QTimer turn;
    turn.setTimerType(Qt::PreciseTimer);
    turn.setInterval(1);
    QElapsedTimer clock;
    qint64 lastTurnNs = 0;
    QObject::connect(&turn, &QTimer::timeout, &loop, [&] {
        const qint64 nowNs = clock.nsecsElapsed();
        turns.addGap(double(nowNs - lastTurnNs) / 1e6);
        lastTurnNs = nowNs;
        turns.done = done();
        if (turns.done || nowNs > std::chrono::nanoseconds(timeout).count())
            loop.quit();
    });
    clock.start();
    turn.start();
    loop.exec();
    turns.elapsedMs = double(clock.nsecsElapsed()) / 1e6;
    return turns;
}

void Turns::addGap(double ms)
{
    longestGapMs = std::max(longestGapMs, ms);
    ++gapCounts[size_t(std::min<double>(ms / kStepMs, kSteps - 1))];
}

double Turns::medianGapMs() const
{
    qint64 total = 0;
    for (const qint64 count : gapCounts)
        total += count;
    qint64 seen = 0;
    for (int step = 0; step < kSteps; ++step) {
        seen += gapCounts[size_t(step)];
        if (2 * seen > total)
            return step * kStepMs;
    }
    return 0;
}

void settle(std::chrono::milliseconds time)
{
    // Without counting turns: an idle loop turns hundreds of thousands of times, and a list of them
    // would be memory of the bench's own in the middle of what a case measures.
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + values.size() / 2;
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    // The nearest rank: the smallest value with at least `share` of the values at or below it.
    const auto rank = size_t(std::ceil(share * double(values.size())));
    const auto at = values.begin() + std::clamp<size_t>(rank, 1, values.size()) - 1;
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

double minimum(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
}

double maximum(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

double mibPerSecond(qint64 bytes, double ms)
{
    return double(bytes) / kMiB / (ms / 1000);
}

qint64 monotonicNs()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

double backMachineMemory(qint64 bytes)
{
    const qint64 size = HugePages::roundUp(bytes);
    char *data = HugePages::map(size);
    if (!data)
        return 0;
    QElapsedTimer clock;
    clock.start();
    for (qint64 at = 0; at < size; at += kPage)
        static_cast<volatile char *>(data)[at] = 1;
    const qint64 ns = std::max<qint64>(clock.nsecsElapsed(), 1);
    HugePages::unmap(data, size);
    return double(size) / kMiB / (double(ns) / 1e9);
}

FloodWriter::FloodWriter(int fd, QByteArray bytes, Link link, BlockMaker make)
    : m_startNs(monotonicNs()), m_thread([this, fd, bytes = std::move(bytes), link, make = std::move(make)] {
          if (link == Link::Tcp) {
              const int on = 1;
              ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
          }
          if (writeAll(fd, bytes, link, make, m_stop))
              m_finishedNs = monotonicNs();
          if (link == Link::Tcp)
              ::shutdown(fd, SHUT_WR);
      })
{}

FloodWriter::~FloodWriter()
{
    m_stop = true;
    m_thread.join();
}

double FloodWriter::writingMs() const
{
    return double((finished() ? m_finishedNs.load() : monotonicNs()) - m_startNs) / 1e6;
}

double bareRate(Link link, const QByteArray &bytes, const BlockMaker &make)
{
    if (link == Link::Serial) {
        Pty pty;
        return timedDrain(pty.master(), pty.slave(), bytes, link, make);
    }
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        qFatal("no loopback port to listen on");
    const std::unique_ptr<QTcpSocket> client = connectClient(server.serverPort());
    if (!server.waitForNewConnection(5000))
        qFatal("the loopback connection was not accepted");
    const std::unique_ptr<QTcpSocket> accepted(server.nextPendingConnection());
    return timedDrain(int(client->socketDescriptor()), int(accepted->socketDescriptor()), bytes, link, make);
}
