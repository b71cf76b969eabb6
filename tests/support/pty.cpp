#include "support/pty.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

Pty::Pty()
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    termios raw{};
    ::tcgetattr(m_slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_slave, TCSANOW, &raw);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slavePath = QString::fromLocal8Bit(name);
}

Pty::~Pty()
{
    unplug();
}

unsigned Pty::speed() const
{
    termios settings{};
    ::tcgetattr(m_slave, &settings);
    return ::cfgetospeed(&settings);
}

void Pty::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error("pty write failed");
        else
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

void Pty::writeBlocking(const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        pollfd pfd{m_master, POLLOUT, 0};
        ::poll(&pfd, 1, -1);
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error("pty write failed");
        done += n > 0 ? n : 0;
    }
}

QByteArray Pty::readNow()
{
    QByteArray bytes;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(m_master, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, n);
    return bytes;
}

QByteArray Pty::read(qsizetype count, int timeoutMs)
{
    QByteArray bytes = readNow();
    const QDeadlineTimer deadline(timeoutMs);
    while (bytes.size() < count && !deadline.hasExpired()) {
        pollfd pfd{m_master, POLLIN, 0};
        ::poll(&pfd, 1, 10);
        QCoreApplication::processEvents();
        bytes += readNow();
    }
    return bytes;
}

void Pty::unplug()
{
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
}
