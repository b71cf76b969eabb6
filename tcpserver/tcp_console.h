#pragma once

#include "tcpserver/tcp_server.h"

#include <QObject>

class Clock;
class MessageBox;
class QPushButton;
class TextBox;

// The PC side of the module's TCP link: logs each client's arrival, each block of data and each
// leaving under a timestamp, sends the send box to the client, clears both boxes. Logging never
// moves the caret of the log.
class TcpConsole : public QObject
{
    Q_OBJECT

public:
    struct Controls
    {
        TextBox *logBox; // connections and received data
        TextBox *sendBox;
        QPushButton *sendButton; // usable while the server is on
    };

    // The log holds at most `ceiling` bytes of text; when it is full the client is no longer read
    // (TCP then holds it back) until the log is cleared.
    TcpConsole(const Controls &controls, TcpServer &server, MessageBox &messageBox, const Clock &clock,
               qint64 ceiling, QObject *parent = nullptr);

public slots:
    void sendTcpText();
    void clearTcp();

private:
    void logClientConnected();
    void holdIfFull(qint64 bytes);
    void logReceived(const QString &text);
    void logClientLeft();
    void serverStateChanged(TcpServer::State state);
    void appendEntry(const QString &text);

    Controls m_controls;
    TcpServer &m_server;
    MessageBox &m_messageBox;
    const Clock &m_clock;
    const qint64 m_ceiling;
};
