#pragma once

#include <QObject>

class Clock;
class MessageBox;
class Socket;
class TextBox;

// The PC side of the module's TCP link: accepts the client, logs each connection and each block of
// data under a timestamp, sends the send box back, clears both boxes. Logging never moves the
// caret of the log.
class TcpConsole : public QObject
{
    Q_OBJECT

public:
    struct Controls
    {
        TextBox *text5; // log of connections and received data
        TextBox *text6; // send box
    };

    // The log holds at most `ceiling` bytes of text; when it is full the client is no longer read
    // (TCP then holds it back) until the log is cleared.
    TcpConsole(const Controls &controls, Socket &winsock, MessageBox &messageBox, const Clock &clock,
               qint64 ceiling, QObject *parent = nullptr);

public slots:
    void winsock1ConnectionRequest(qint32 requestID);
    void winsock1DataArrival(qint64 bytesTotal);
    void winsock1PeerClosed();
    void command6Click();
    void command7Click();

private:
    void appendEntry(const QString &text);
    bool roomFor(qint64 bytes) const;
    void hold();
    void resume();

    Controls m_controls;
    Socket &m_winsock;
    MessageBox &m_messageBox;
    const Clock &m_clock;
    const qint64 m_ceiling;
    bool m_holding = false;
    // A client that left while the log was full: what it sent last, logged with its leaving once the
    // log is cleared.
    QString m_leftover;
    bool m_leftWhileHolding = false;
};
