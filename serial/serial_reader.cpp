#include "serial/serial_reader.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {
// As much as one read asks for: more than a device hands over at once at any baud rate.
constexpr qsizetype kReadSize = 64 * 1024;

void signal(const UniqueFd &event)
{
    const quint64 one = 1;
    (void)::write(event.get(), &one, sizeof one);
}

void drain(const UniqueFd &event)
{
    quint64 count = 0;
    (void)::read(event.get(), &count, sizeof count);
}
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
    if (!m_ready.isValid()) {
        // Kept from one session to the next; close() empties it.
        m_ready.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        if (!m_ready.isValid())
            return false;
        m_readyNotifier = std::make_unique<QSocketNotifier>(m_ready.get(), QSocketNotifier::Read);
        connect(m_readyNotifier.get(), &QSocketNotifier::activated, this, &SerialReader::readyToRead);
    }
    m_wake.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!m_wake.isValid())
        return false; // without it the thread could never be stopped
    m_stopping = false;
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}

void SerialReader::stopThread()
{
    if (m_thread.joinable()) {
        {
            const std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_taken.notify_one();
        signal(m_wake);
        m_thread.join();
    }
    m_wake.reset();
    m_fd.reset();
}

void SerialReader::hangUp()
{
    stopThread();
    const std::lock_guard lock(m_mutex);
    m_lost = true;
    announceLocked();
}

void SerialReader::close()
{
    stopThread();
    {
        const std::lock_guard lock(m_mutex);
        m_ring.clear();
        m_announced = false;
        m_lost = false;
    }
    // Nothing of this session may reach a port opened again later.
    if (m_ready.isValid())
        drain(m_ready);
}

void SerialReader::take(QByteArray &bytes)
{
    bytes.resize(kBatch); // keeps its storage, so that a flood reuses the same buffer
    {
        const std::lock_guard lock(m_mutex);
        bytes.resize(m_ring.pop(bytes.data(), kBatch));
        m_announced = false;
        // The rest is announced now rather than at the next read, which may never come; so is the
        // loss once the last bytes are taken.
        if (m_ring.size() > 0 || m_lost)
            announceLocked();
    }
    m_taken.notify_one();
}

void SerialReader::keep(const char *bytes, qsizetype count)
{
    for (;;) {
        {
            const std::lock_guard lock(m_mutex);
            try {
                // Kept even when the thread is being stopped: they were read from the device, and a
                // hang-up still delivers them.
                m_ring.push(bytes, count); // only this thread adds, so the room is still there
                if (!m_announced)
                    announceLocked();
                return;
            } catch (const std::bad_alloc &) {
                // No memory for a larger backlog now: the window is told of what is held, and the
                // bytes read wait here until it has taken some and memory is back.
                announceLocked();
                if (m_stopping)
                    return;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void SerialReader::run()
{
    std::vector<char> buffer(kReadSize);
    pollfd fds[2] = {{m_fd.get(), POLLIN, 0}, {m_wake.get(), POLLIN, 0}};
    bool hungUp = false;
    for (;;) {
        qsizetype room = 0;
        {
            // Full: nothing more is read until the window takes some. The device's own buffer then
            // fills and, where the line has flow control, the sender is held back.
            std::unique_lock lock(m_mutex);
            m_taken.wait(lock, [this] { return m_stopping || m_ring.room() > 0; });
            if (m_stopping)
                return;
            room = m_ring.room();
        }
        // The port is set up so that a read returns at once, with nothing (0) when no byte is
        // waiting; the waiting is poll()'s.
        const ssize_t n = ::read(m_fd.get(), buffer.data(), size_t(std::min(kReadSize, room)));
        if (n > 0) {
            keep(buffer.data(), n);
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
    const std::lock_guard lock(m_mutex);
    m_lost = true;
    announceLocked();
}

void SerialReader::announceLocked()
{
    m_announced = true;
    signal(m_ready);
}

void SerialReader::readyToRead()
{
    drain(m_ready);
    bool waiting = false;
    {
        const std::lock_guard lock(m_mutex);
        waiting = m_ring.size() > 0;
        // The thread marks the loss after the last bytes it read are in the ring: an empty ring then
        // means the window has them all.
        if (!waiting && !std::exchange(m_lost, false))
            return;
    }
    // The window takes a batch; take() announces what is left, and the loss once nothing is.
    if (waiting)
        emit arrived();
    else
        emit lost();
}
