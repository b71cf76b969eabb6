#include "serial/serial_reader.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr qsizetype kReadSize = 64 * 1024;
// Past this much unread, the thread stops reading until the window takes it: the device's own
// buffer then fills and the sender is held back, as with any reader that falls behind. Batches of
// this size keep the window's turns short and its working buffers small; larger ones gained no
// speed and cost memory.
constexpr qsizetype kMaxWaiting = 64 * 1024;
} // namespace

SerialReader::SerialReader(QObject *parent) : QObject(parent) {}

SerialReader::~SerialReader()
{
    close();
}

bool SerialReader::open(const QString &path)
{
    close();
    m_fd.reset(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    return m_fd.isValid();
}

bool SerialReader::start()
{
    // The port is set up through the sending descriptor, opened write-only, and then its receiver is
    // left as it was found: switch it on.
    termios settings{};
    if (::tcgetattr(m_fd.get(), &settings) == 0 && !(settings.c_cflag & CREAD)) {
        settings.c_cflag |= CREAD;
        ::tcsetattr(m_fd.get(), TCSANOW, &settings);
    }
    m_wake.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!m_wake.isValid())
        return false; // without it the thread could never be stopped
    m_stopping = false;
    m_announced = false;
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}

void SerialReader::close()
{
    if (m_thread.joinable()) {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_taken.notify_one();
        const quint64 one = 1;
        (void)::write(m_wake.get(), &one, sizeof one);
        m_thread.join();
    }
    m_wake.reset();
    m_fd.reset();
    m_bytes.clear();
    // Nothing of this session may reach a port opened again later.
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
}

qsizetype SerialReader::waiting()
{
    const std::lock_guard lock(m_mutex);
    m_announced = false;
    return m_bytes.size();
}

void SerialReader::take(QByteArray &bytes)
{
    bytes.resize(0); // keeps its storage, so that a flood reuses the same two buffers
    {
        const std::lock_guard lock(m_mutex);
        bytes.swap(m_bytes);
        m_announced = false;
    }
    m_taken.notify_one();
}

void SerialReader::run()
{
    std::vector<char> buffer(kReadSize);
    pollfd fds[2] = {{m_fd.get(), POLLIN, 0}, {m_wake.get(), POLLIN, 0}};
    bool hungUp = false;
    for (;;) {
        // The port is set up so that a read returns at once, with nothing (0) when no byte is
        // waiting; the waiting is poll()'s.
        const ssize_t n = ::read(m_fd.get(), buffer.data(), buffer.size());
        if (n > 0) {
            deliver(buffer.data(), n);
            std::unique_lock lock(m_mutex);
            m_taken.wait(lock, [this] { return m_stopping || m_bytes.size() < kMaxWaiting; });
            if (m_stopping)
                return;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // A read error, or nothing left after a hang-up: the device is gone.
        if ((n < 0 && errno != EAGAIN) || hungUp)
            break;
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        if (fds[1].revents)
            return;
        hungUp = fds[0].revents & (POLLHUP | POLLERR | POLLNVAL);
    }
    QMetaObject::invokeMethod(this, &SerialReader::lost, Qt::QueuedConnection);
}

void SerialReader::deliver(const char *data, qsizetype size)
{
    bool announce = false;
    {
        const std::lock_guard lock(m_mutex);
        m_bytes.append(data, size);
        announce = !m_announced;
        m_announced = true;
    }
    if (announce)
        QMetaObject::invokeMethod(this, &SerialReader::arrived, Qt::QueuedConnection);
}
