#pragma once

#include "platform/link_codec.h"

#include <QObject>
#include <QTcpServer>

#include <memory>

class QTcpSocket;

// The PC's TCP server for the module: listens on a port, takes one client at a time and stops
// listening while it is connected (a second one is refused by the system), and listens again on the
// same port when that client leaves, so that a module that reconnects is taken without a click.
// Text goes both ways in the link encoding.
class TcpServer : public QObject
{
    Q_OBJECT

public:
    enum class State {
        Idle,
        Listening, // serving: listening, or connected to its one client
        Failed     // could not listen (the port taken, or no port at all); stop() resets it
    };

    explicit TcpServer(QObject *parent = nullptr);
    ~TcpServer() override;

    // Listens on `port` of every address; the port must be from 1 to 65535.
    void listen(qint32 port);
    // Stops listening and drops the client without a word to it.
    void stop();
    State state() const { return m_state; }

    bool hasClient() const;
    // False without a connected client, or when the text cannot go out.
    [[nodiscard]] bool send(const QString &text);

    // Leaves what the client sends with the connection, where TCP holds the client back, and refuses
    // new clients. A client that leaves meanwhile is reported, with what it sent last, on resuming.
    void pauseReading();
    void resumeReading();
    bool readingPaused() const { return m_paused; }

signals:
    void stateChanged(TcpServer::State state);
    void clientConnected();
    // `bytes` are about to be read from the client; a slot may pauseReading() to leave them there.
    void aboutToReceive(qint64 bytes);
    void received(const QString &text);
    void clientLeft();

private:
    struct DeleteLater
    {
        void operator()(QTcpSocket *socket) const;
    };
    using SocketPtr = std::unique_ptr<QTcpSocket, DeleteLater>;
    static constexpr qint64 kReadChunk = 64 * 1024; // most read from the client per event-loop turn

    void setState(State state);
    void takeClients();
    void readArrivals();
    QString readAll();
    void clientClosed();

    QTcpServer m_server;
    SocketPtr m_client;
    LinkCodec m_codec;
    State m_state = State::Idle;
    quint16 m_port = 0;
    bool m_paused = false;
    // A client that left while reading was paused: what it sent last, delivered with its leaving.
    QString m_leftover;
    bool m_leftWhilePaused = false;
};
