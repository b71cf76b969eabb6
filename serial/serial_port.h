#pragma once

#include "platform/link_codec.h"
#include "serial/device_facts.h"
#include "serial/port_map.h"
#include "serial/serial_reader.h"

#include <QObject>
#include <QSerialPort>

// The window's serial port: a port chosen by number, line settings as a "baud,N,8,1" string, text in
// and out in the link encoding, and one notification as soon as received data is waiting.
// Operations that fail return false and leave an error number in lastError().
class SerialPort : public QObject
{
    Q_OBJECT

public:
    enum class Error {
        None,
        PermissionDenied, // this user may not read and write the device
        InvalidProperty,
        InvalidPort,            // no such device
        PortAlreadyOpen = 8005, // in use, here or by another program: the one number callers test
        Device,                 // the device refused to open or be set up
        PortNotOpen
    };
    static constexpr int kComEvReceive = 2;
    static constexpr int kInputModeText = 0;

    explicit SerialPort(PortMap portMap, DeviceFacts deviceFacts = systemDeviceFacts(),
                        QObject *parent = nullptr);

    [[nodiscard]] bool setCommPort(int comNumber);
    int commPort() const { return m_commPort; }
    QString devicePath() const;
    // What the system says about the device of CommPort (empty fields where it knows nothing).
    DeviceDetails deviceDetails() const;
    // Which programs hold these devices, as far as the system tells; asks without opening them.
    DeviceHolders deviceHolders(const QStringList &devicePaths) const;

    [[nodiscard]] bool setSettings(const QString &settings);
    QString settings() const { return m_settings; }

    [[nodiscard]] bool setInputMode(int mode);
    [[nodiscard]] bool setRThreshold(int threshold);

    // Closing always succeeds; opening fails when the device is missing, in use or rejects the settings.
    bool setPortOpen(bool open);
    bool portOpen() const { return m_port.isOpen(); }

    [[nodiscard]] bool output(const QString &text);
    // The oldest received bytes, at most a batch, decoded; when more are waiting, onComm() follows
    // again on a later turn of the event loop, so a flood never holds the window for long.
    QString input();
    int commEvent() const { return m_commEvent; }

    Error lastError() const { return m_lastError; }

signals:
    void onComm();
    // The port was opened: what arrives from now on is a stream of its own.
    void opened();
    // The device went away while open (adapter unplugged), after every byte read from it was
    // delivered; the port has already been closed.
    void deviceLost();

private:
    bool fail(Error error);
    void dataWaiting();
    void portError(QSerialPort::SerialPortError error);
    void lose();

    PortMap m_portMap;
    DeviceFacts m_deviceFacts;
    QSerialPort m_port; // set-up and sending
    SerialReader m_reader;
    QByteArray m_received;
    LinkEncoder m_encoder;
    LinkDecoder m_decoder;
    int m_commPort = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    qint32 m_baudRate = 9600;
    int m_rThreshold = 0;
    int m_commEvent = 0;
    Error m_lastError = Error::None;
    bool m_flushing = false; // inside output()'s flush
};
