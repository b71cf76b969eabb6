#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal standing in for a serial device: the console opens the slave by its path, the
// test plays the module on the master. The slave is also held open here, so nothing the console
// writes is lost when it closes its own end.
class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    QString slavePath() const { return m_slavePath; }
    // The module's end (non-blocking) and the device's (blocking), for a writer or reader of their own.
    int master() const { return m_master; }
    int slave() const { return m_slave; }

    // The line speed the console set, as a termios constant (B9600, B115200, ...).
    unsigned speed() const;

    void write(const QByteArray &bytes);
    // Writes from any thread, held back while the line is full, as a program writing to a device.
    void writeBlocking(const QByteArray &bytes);
    // Everything that can be read right now, without waiting.
    QByteArray readNow();
    // Waits (running the event loop) until `count` bytes have arrived or the time is up.
    QByteArray read(qsizetype count, int timeoutMs = 5000);
    // The device goes away, as when the USB adapter is pulled.
    void unplug();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};
