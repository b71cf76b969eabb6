#include "support/fault_probes.h"

#include "textbox/text_box.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

qint64 peakResidentBytes()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;
}

std::chrono::milliseconds cpuTime()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return qint64(t.tv_sec) * 1000 + t.tv_usec / 1000; };
    return std::chrono::milliseconds(ms(usage.ru_utime) + ms(usage.ru_stime));
}

QStringList openDescriptors()
{
    QStringList result;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    const QStringList names = fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString target = QFileInfo(fds.filePath(name)).symLinkTarget();
        // The directory listing itself holds one descriptor while it runs; it is gone by now.
        if (!target.isEmpty())
            result.append(name + QStringLiteral(" -> ") + target);
    }
    return result;
}

LatencyProbe::LatencyProbe(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &LatencyProbe::tick);
}

void LatencyProbe::start()
{
    m_worst = 0;
    m_ticks = 0;
    m_clock.start();
    m_last = 0;
    m_timer.start();
}

void LatencyProbe::stop()
{
    m_timer.stop();
}

void LatencyProbe::tick()
{
    const qint64 now = m_clock.elapsed();
    m_worst = std::max(m_worst, now - m_last - kIntervalMs);
    m_last = now;
    ++m_ticks;
}

namespace FloodText {
namespace {
struct Hanzi
{
    char16_t shown;
    char wire[2]; // code page 936
};
constexpr Hanzi kHanzi[] = {{u'数', {'\xca', '\xfd'}}, {u'据', {'\xbe', '\xdd'}}, {u'出', {'\xb3', '\xf6'}},
                            {u'品', {'\xc6', '\xb7'}}, {u'回', {'\xbb', '\xd8'}}, {u'复', {'\xb8', '\xb4'}}};
constexpr int kHanziCount = int(std::size(kHanzi));

int asciiLength(qint64 index)
{
    return int((index * 37) % 151);
}
int hanziCount(qint64 index)
{
    return int((index * 13) % 7);
}
} // namespace

QByteArray wireLine(qint64 index)
{
    QByteArray line = "L" + QByteArray::number(index).rightJustified(9, '0') + ' ';
    for (int i = 0, n = asciiLength(index); i < n; ++i)
        line += char('a' + (index + i) % 26);
    for (int i = 0, n = hanziCount(index); i < n; ++i)
        line.append(kHanzi[(index + i) % kHanziCount].wire, 2);
    return line + "!\r\n";
}

QString shownLine(qint64 index)
{
    QString line =
        QLatin1Char('L') + QString::number(index).rightJustified(9, QLatin1Char('0')) + QLatin1Char(' ');
    for (int i = 0, n = asciiLength(index); i < n; ++i)
        line += QLatin1Char(char('a' + (index + i) % 26));
    for (int i = 0, n = hanziCount(index); i < n; ++i)
        line += QChar(kHanzi[(index + i) % kHanziCount].shown);
    return line + QLatin1Char('!');
}
} // namespace FloodText

bool FloodChecker::line(const QString &shown)
{
    if (!m_mismatch.isEmpty())
        return false;
    const QString expected = FloodText::shownLine(m_next);
    if (shown != expected) {
        m_mismatch = QStringLiteral("line %1: expected \"%2\", shown \"%3\"")
                         .arg(m_next)
                         .arg(expected, shown.left(200));
        return false;
    }
    ++m_next;
    return true;
}

FloodWriter::FloodWriter(int fd, qint64 totalBytes, bool closeWhenDone)
    : m_thread(&FloodWriter::run, this, fd, totalBytes, closeWhenDone)
{}

FloodWriter::~FloodWriter()
{
    stop();
    join();
}

void FloodWriter::stop()
{
    m_stop = true;
}

void FloodWriter::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void FloodWriter::run(int fd, qint64 totalBytes, bool closeWhenDone)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    struct stat status
    {
    };
    ::fstat(fd, &status);
    // A socket is written with send() so that a reset peer gives EPIPE instead of killing the process.
    const bool isSocket = S_ISSOCK(status.st_mode);
    QByteArray chunk;
    qint64 nextLine = 0;
    qint64 queued = 0; // bytes of whole lines put into chunks so far
    while (!m_stop) {
        if (chunk.isEmpty()) {
            // Whole lines only, so that bytesWritten() at the end always falls on a line boundary.
            while (chunk.size() < 16384 && queued < totalBytes) {
                const QByteArray line = FloodText::wireLine(nextLine);
                if (queued + line.size() > totalBytes)
                    break;
                chunk += line;
                queued += line.size();
                ++nextLine;
            }
            if (chunk.isEmpty())
                break;
        }
        const ssize_t written = isSocket ? ::send(fd, chunk.constData(), size_t(chunk.size()), MSG_NOSIGNAL)
                                         : ::write(fd, chunk.constData(), size_t(chunk.size()));
        if (written > 0) {
            m_written += written;
            chunk.remove(0, written);
            if (chunk.isEmpty())
                m_lines = nextLine;
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR) {
            m_error = errno;
            break;
        }
        pollfd pfd{fd, POLLOUT, 0};
        ::poll(&pfd, 1, 50);
    }
    if (closeWhenDone)
        ::close(fd);
    m_finished = true;
}

namespace {
QByteArray readAvailable(int fd)
{
    QByteArray bytes;
    char buffer[65536];
    ssize_t n;
    while (fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, n);
    return bytes;
}
} // namespace

QByteArray readFromFd(int fd, qsizetype count, int timeoutMs)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    QByteArray bytes = readAvailable(fd);
    const QDeadlineTimer deadline(timeoutMs);
    while (bytes.size() < count && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        bytes += readAvailable(fd);
    }
    return bytes;
}

int connectLoopback(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void forEachLine(const TextBox &box, const std::function<bool(const QString &)> &visit)
{
    for (qsizetype line = 0, lines = box.lineCount(); line < lines; ++line) {
        if (!visit(box.lineText(line)))
            return;
    }
}
