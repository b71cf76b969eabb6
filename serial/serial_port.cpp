#include "serial/serial_port.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <limits>

SerialPort::SerialPort(PortMap portMap, DeviceFacts deviceFacts, QObject *parent)
    : QObject(parent), m_portMap(std::move(portMap)), m_deviceFacts(std::move(deviceFacts)), m_port(this),
      m_reader(this)
{
    connect(&m_reader, &SerialReader::arrived, this, &SerialPort::dataWaiting);
    connect(&m_reader, &SerialReader::lost, this, &SerialPort::lose);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPort::portError);
}

bool SerialPort::setCommPort(int comNumber)
{
    if (portOpen())
        return fail(Error::PortAlreadyOpen);
    if (comNumber < 1)
        return fail(Error::InvalidPort);
    m_commPort = comNumber;
    return true;
}

QString SerialPort::devicePath() const
{
    return m_portMap(m_commPort);
}

DeviceDetails SerialPort::deviceDetails() const
{
    const QString path = devicePath();
    return path.isEmpty() ? DeviceDetails{} : m_deviceFacts.details(path);
}

DeviceHolders SerialPort::deviceHolders(const QStringList &devicePaths) const
{
    return m_deviceFacts.holders(devicePaths);
}

bool SerialPort::setSettings(const QString &settings)
{
    // Only the line format the window ever writes: any baud rate, no parity, 8 data bits, 1 stop bit.
    // \z, not $: $ also matches before a final line break.
    static const QRegularExpression format(QStringLiteral(R"(^(\d+),N,8,1\z)"));
    const QRegularExpressionMatch match = format.match(settings);
    bool ok = false;
    const qlonglong baud = match.hasMatch() ? match.captured(1).toLongLong(&ok) : 0;
    if (!ok || baud <= 0 || baud > std::numeric_limits<qint32>::max())
        return fail(Error::InvalidProperty);
    m_settings = settings;
    m_baudRate = static_cast<qint32>(baud);
    return true;
}

bool SerialPort::setInputMode(int mode)
{
    return mode == kInputModeText || fail(Error::InvalidProperty);
}

bool SerialPort::setRThreshold(int threshold)
{
    if (threshold < 0)
        return fail(Error::InvalidProperty);
    m_rThreshold = threshold;
    return true;
}

bool SerialPort::setPortOpen(bool open)
{
    if (!open) {
        m_reader.close();
        m_port.close();
        return true;
    }
    if (portOpen())
        return fail(Error::PortAlreadyOpen);
    const QString path = devicePath();
    // Checked first so that probing a hundred absent devices costs next to nothing.
    if (path.isEmpty() || !QFileInfo::exists(path))
        return fail(Error::InvalidPort);
    if (!m_deviceFacts.accessible(path))
        return fail(Error::PermissionDenied);

    // The reading descriptor is opened first: once the port is open, it is held exclusively.
    if (!m_reader.open(path))
        return fail(errno == EBUSY ? Error::PortAlreadyOpen : Error::Device);
    m_port.setPortName(path);
    m_port.setBaudRate(m_baudRate);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::WriteOnly)) {
        m_reader.close();
        // Qt reports a lock file held by another program (and a device opened exclusively) as a
        // permission error: to the window that is a port already in use.
        const QSerialPort::SerialPortError error = m_port.error();
        m_port.clearError();
        return fail(error == QSerialPort::PermissionError ? Error::PortAlreadyOpen : Error::Device);
    }
    m_decoder.reset();
    if (!m_reader.start()) {
        setPortOpen(false);
        return fail(Error::Device);
    }
    emit opened();
    return true;
}

bool SerialPort::output(const QString &text)
{
    if (!portOpen())
        return fail(Error::PortNotOpen);
    if (!m_encoder.isValid() || m_port.write(m_encoder.encode(text)) < 0)
        return fail(Error::Device);
    // QSerialPort writes from the event loop; push the bytes to the device now, so that what is
    // sent before a pause is on the line before the pause starts.
    m_flushing = true;
    m_port.flush();
    m_flushing = false;
    return true;
}

QString SerialPort::input()
{
    m_reader.take(m_received);
    return m_decoder.decode(m_received);
}

bool SerialPort::fail(Error error)
{
    m_lastError = error;
    return false;
}

void SerialPort::dataWaiting()
{
    // Asked first in any case: asking is what makes the reader announce the next bytes.
    const qsizetype waiting = m_reader.waiting();
    if (m_rThreshold <= 0 || waiting < m_rThreshold)
        return;
    m_commEvent = kComEvReceive;
    emit onComm();
}

void SerialPort::portError(QSerialPort::SerialPortError error)
{
    const bool ioFailed = error == QSerialPort::ResourceError || error == QSerialPort::ReadError ||
                          error == QSerialPort::WriteError;
    if (!ioFailed || !m_port.isOpen())
        return;
    // A line that cannot take more bytes right now (a module slow to read, a slow baud rate) fails
    // that flush with a resource error. The bytes stay queued and go out from the event loop; a
    // device that is really gone is reported again by the notifiers, outside the flush.
    if (m_flushing) {
        m_port.clearError();
        return;
    }
    // A vanished device fails its writes over and over; stop writing at the first failure. What was
    // read from it before is still shown, and then the loss (lose()).
    m_port.clearError();
    m_port.close();
    m_reader.hangUp();
}

void SerialPort::lose()
{
    m_reader.close();
    m_port.close();
    m_port.clearError();
    emit deviceLost();
}
