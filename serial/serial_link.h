#pragma once

#include "platform/link_codec.h"
#include "serial/device_facts.h"
#include "serial/port_map.h"
#include "serial/serial_reader.h"

#include <QObject>
#include <QSerialPort>

#include <optional>

// The window's serial link to the module: a port chosen by COM number, opened at a baud rate with 8
// data bits, no parity, one stop bit and no flow control; text in and out in the link encoding.
class SerialLink : public QObject
{
    Q_OBJECT

public:
    enum class OpenError {
        None,
        Busy,    // held by another program (or already open here)
        Denied,  // this user may not read and write the device
        Missing, // no such COM number or no such device
        Refused  // the device would not open or be set up (not a serial port, no thread to read it)
    };

    explicit SerialLink(PortMap portMap, DeviceFacts deviceFacts = systemDeviceFacts(),
                        QObject *parent = nullptr);

    // Opens COM `comNumber` at `baudRate`, closing first whatever port is open.
    OpenError open(int comNumber, qint32 baudRate);
    void close();
    // From a successful open() until close() or the loss, even while a failed device's last bytes are
    // still being delivered.
    bool isOpen() const { return m_open; }
    // The device of the port last asked for, and the rate it was last opened at.
    QString devicePath() const { return m_devicePath; }
    qint32 baudRate() const { return m_baudRate; }

    // False when the port is not open or the text cannot go out.
    [[nodiscard]] bool send(const QString &text);
    std::optional<qsizetype> encodedLength(const QString &text) { return m_codec.encodedLength(text); }

signals:
    // Text received, at most a batch of bytes at a time; when more is waiting it follows on a later
    // turn of the event loop, so that a flood never holds the window for long.
    void received(const QString &text);
    void openChanged(bool open);
    // The device went away while open (adapter unplugged), after every byte read from it was
    // delivered; the link is closed already.
    void lost();

private:
    void takeArrivals();
    void portError(QSerialPort::SerialPortError error);
    void lose();

    PortMap m_portMap;
    DeviceFacts m_deviceFacts;
    QSerialPort m_port; // set-up and sending
    SerialReader m_reader;
    LinkCodec m_codec;
    QString m_devicePath;
    qint32 m_baudRate = 9600;
    bool m_open = false;
    bool m_flushing = false; // inside send()'s flush
};
