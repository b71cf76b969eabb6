#include "pty_device.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <utility>

namespace {

constexpr std::chrono::milliseconds kRetryInterval{100};
constexpr int kReadChunk = 4096;
// A real UART loses what nobody reads; cap what we hold back for a slow or absent reader.
constexpr qsizetype kMaxPending = 1024 * 1024;

struct BaudEntry
{
    int baud;
    speed_t speed;
};

constexpr std::array kBaudTable{
    BaudEntry{50, B50},           BaudEntry{75, B75},           BaudEntry{110, B110},
    BaudEntry{134, B134},         BaudEntry{150, B150},         BaudEntry{200, B200},
    BaudEntry{300, B300},         BaudEntry{600, B600},         BaudEntry{1200, B1200},
    BaudEntry{1800, B1800},       BaudEntry{2400, B2400},       BaudEntry{4800, B4800},
    BaudEntry{9600, B9600},       BaudEntry{19200, B19200},     BaudEntry{38400, B38400},
    BaudEntry{57600, B57600},     BaudEntry{115200, B115200},   BaudEntry{230400, B230400},
    BaudEntry{460800, B460800},   BaudEntry{500000, B500000},   BaudEntry{576000, B576000},
    BaudEntry{921600, B921600},   BaudEntry{1000000, B1000000}, BaudEntry{1152000, B1152000},
    BaudEntry{1500000, B1500000}, BaudEntry{2000000, B2000000}, BaudEntry{2500000, B2500000},
    BaudEntry{3000000, B3000000}, BaudEntry{3500000, B3500000}, BaudEntry{4000000, B4000000},
};

std::optional<speed_t> speedForBaud(int baud)
{
    for (const BaudEntry &entry : kBaudTable) {
        if (entry.baud == baud)
            return entry.speed;
    }
    return std::nullopt;
}

std::optional<int> baudForSpeed(speed_t speed)
{
    for (const BaudEntry &entry : kBaudTable) {
        if (entry.speed == speed)
            return entry.baud;
    }
    return std::nullopt;
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

PtyDevice::PtyDevice(QObject *parent) : QObject(parent)
{
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setInterval(kRetryInterval);
    connect(&m_retryTimer, &QTimer::timeout, this, &PtyDevice::resumeReading);
}

PtyDevice::~PtyDevice() = default;

bool PtyDevice::isSupportedBaud(int baud)
{
    return speedForBaud(baud).has_value();
}

bool PtyDevice::open(int baud, QString *errorMessage)
{
    const std::optional<speed_t> speed = speedForBaud(baud);
    if (!speed) {
        *errorMessage = QStringLiteral("unsupported baud rate %1").arg(baud);
        return false;
    }

    int master = -1;
    int slave = -1;
    std::array<char, 256> name{};
    if (::openpty(&master, &slave, name.data(), nullptr, nullptr) != 0) {
        *errorMessage = systemError("openpty");
        return false;
    }
    m_master.reset(master);
    // Holding the slave open ourselves keeps the master from reporting EIO (and poll() from reporting
    // a hang-up in a busy loop) while no console is attached.
    m_slave.reset(slave);
    m_slavePath = QString::fromLocal8Bit(name.data());

    // The slave's settings are shared with the master: raw mode stops the line discipline from echoing
    // or translating anything, and the rate starts at the module's so a plain open() matches it.
    termios settings{};
    if (::tcgetattr(m_master.get(), &settings) != 0) {
        *errorMessage = systemError("tcgetattr");
        return false;
    }
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, *speed);
    ::cfsetospeed(&settings, *speed);
    if (::tcsetattr(m_master.get(), TCSANOW, &settings) != 0) {
        *errorMessage = systemError("tcsetattr");
        return false;
    }

    const int flags = ::fcntl(m_master.get(), F_GETFL);
    if (flags < 0 || ::fcntl(m_master.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
        *errorMessage = systemError("fcntl");
        return false;
    }

    m_readNotifier = std::make_unique<QSocketNotifier>(m_master.get(), QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &PtyDevice::onReadable);
    m_writeNotifier = std::make_unique<QSocketNotifier>(m_master.get(), QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &PtyDevice::onWritable);
    return true;
}

std::optional<int> PtyDevice::lineBaud() const
{
    termios settings{};
    if (!m_master.isValid() || ::tcgetattr(m_master.get(), &settings) != 0)
        return std::nullopt;
    // An input speed of 0 means "same as the output speed".
    speed_t speed = ::cfgetispeed(&settings);
    if (speed == B0)
        speed = ::cfgetospeed(&settings);
    return baudForSpeed(speed);
}

void PtyDevice::write(const QByteArray &bytes)
{
    if (!m_master.isValid() || bytes.isEmpty())
        return;
    const qsizetype room = kMaxPending - m_pending.size();
    if (room > 0)
        m_pending.append(bytes.left(room));
    flushOutput();
}

void PtyDevice::onReadable()
{
    QByteArray received;
    std::array<char, kReadChunk> buffer{};
    for (;;) {
        const ssize_t count = ::read(m_master.get(), buffer.data(), buffer.size());
        if (count > 0) {
            received.append(buffer.data(), count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // EOF or EIO: no slave holder. Stop polling for a moment rather than spin on the hang-up.
        pauseReading();
        break;
    }
    if (!received.isEmpty())
        emit dataReceived(received);
}

void PtyDevice::onWritable()
{
    flushOutput();
}

void PtyDevice::flushOutput()
{
    while (!m_pending.isEmpty()) {
        const ssize_t count = ::write(m_master.get(), m_pending.constData(), m_pending.size());
        if (count > 0) {
            m_pending.remove(0, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // Nobody can ever read these bytes; a UART would have lost them as well.
        m_pending.clear();
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(!m_pending.isEmpty());
}

void PtyDevice::pauseReading()
{
    m_readNotifier->setEnabled(false);
    m_retryTimer.start();
}

void PtyDevice::resumeReading()
{
    if (m_readNotifier)
        m_readNotifier->setEnabled(true);
}
