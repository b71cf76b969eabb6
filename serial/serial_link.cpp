#include "serial/serial_link.h"

#include <QFileInfo>

#include <cerrno>
#include <utility>

SerialLink::SerialLink(PortMap portMap, DeviceFacts deviceFacts, QObject *parent)
    : QObject(parent), m_portMap(std::move(portMap)), m_deviceFacts(std::move(deviceFacts)), m_port(this),
      m_reader(this)
{
    connect(&m_reader, &SerialReader::arrived, this, &SerialLink::takeArrivals);
    connect(&m_reader, &SerialReader::lost, this, &SerialLink::lose);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::portError);
}

SerialLink::OpenError SerialLink::open(int comNumber, qint32 baudRate)
{
    close();
    if (comNumber < 1)
        return OpenError::Missing;
    m_devicePath = m_portMap(comNumber);
    m_baudRate = baudRate;
    if (m_devicePath.isEmpty() || !QFileInfo::exists(m_devicePath))
        return OpenError::Missing;
    if (!m_deviceFacts.accessible(m_devicePath))
        return OpenError::Denied;

    // The reading descriptor is opened first: once the port is open, it is held exclusively.
    if (!m_reader.open(m_devicePath))
        return errno == EBUSY ? OpenError::Busy : OpenError::Refused;
    m_port.setPortName(m_devicePath);
    m_port.setBaudRate(baudRate);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::WriteOnly)) {
        m_reader.close();
        // Qt reports a lock file held by another program (and a device opened exclusively) as a
        // permission error: the port is in use.
        const QSerialPort::SerialPortError error = m_port.error();
        m_port.clearError();
        return error == QSerialPort::PermissionError ? OpenError::Busy : OpenError::Refused;
    }
    m_codec.restart();
    if (!m_reader.start()) {
        m_reader.close();
        m_port.close();
        return OpenError::Refused;
    }
    m_open = true;
    emit openChanged(true);
    return OpenError::None;
}

void SerialLink::close()
{
    m_reader.close();
    m_port.close();
    if (std::exchange(m_open, false))
        emit openChanged(false);
}

bool SerialLink::send(const QString &text)
{
    if (!m_port.isOpen() || !m_codec.canEncode() || m_port.write(m_codec.encode(text)) < 0)
        return false;
    // QSerialPort writes from the event loop; push the bytes to the device now, so that what is
    // sent before a pause is on the line before the pause starts.
    m_flushing = true;
    m_port.flush();
    m_flushing = false;
    return true;
}

void SerialLink::takeArrivals()
{
    m_reader.take(m_codec.receiveBuffer());
    emit received(m_codec.decodeReceived());
}

void SerialLink::portError(QSerialPort::SerialPortError error)
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
    // read from it before is still delivered, and then the loss (lose()).
    m_port.clearError();
    m_port.close();
    m_reader.hangUp();
}

void SerialLink::lose()
{
    m_reader.close();
    m_port.close();
    m_port.clearError();
    m_open = false;
    emit openChanged(false);
    emit lost();
}
