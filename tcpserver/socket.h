#pragma once

#include "platform/link_codec.h"
#include "tcpserver/local_interface.h"

#include <QObject>
#include <QTcpServer>

#include <functional>
#include <memory>

class QTcpSocket;

// One TCP endpoint that first listens and then, after accepting, carries the one accepted
// connection. Each incoming connection is offered through connectionRequest(); one that is not
// accepted inside that signal is refused at once, so the endpoint never holds more than one client.
// Text goes both ways in the link encoding. Operations that fail return false and leave an error
// number in lastError().
class Socket : public QObject
{
    Q_OBJECT

public:
    enum class State {
        Closed = 0, // any other state is "not closed"
        Listening,
        Connected,
        Closing // the peer closed its side
    };
    enum class Error { None, InvalidArgument, WrongState, InvalidOperation, AddressInUse };

    // `interfaces` tells which network interfaces the PC has, asked for when LocalIP is read.
    explicit Socket(std::function<LocalInterfaces()> interfaces, QObject *parent = nullptr);
    ~Socket() override;

    // The PC's address a module on its network most likely reaches (see reachableAddress()), and
    // every address it has, each with its interface, for choosing another.
    QString localIP() const { return reachableAddress(m_interfaces()); }
    QString localAddresses() const { return addressListing(m_interfaces()); }

    // A port to listen on: 1 to 65535.
    [[nodiscard]] bool setLocalPort(qint32 port);
    qint32 localPort() const { return m_localPort; }

    [[nodiscard]] bool listen();
    void close();
    State state() const;
    [[nodiscard]] bool accept(qint32 requestID);

    [[nodiscard]] bool sendData(const QString &data);
    QString getData();
    // Received and not yet taken by getData().
    qint64 bytesAvailable() const;

    Error lastError() const { return m_lastError; }

signals:
    void connectionRequest(qint32 requestID);
    void dataArrival(qint64 bytesTotal);
    // The connected peer closed its side (or the connection broke).
    void peerClosed();

private:
    struct DeleteLater
    {
        void operator()(QTcpSocket *socket) const;
    };
    using SocketPtr = std::unique_ptr<QTcpSocket, DeleteLater>;
    static constexpr qint64 kReadChunk = 64 * 1024; // most read from the connection per event-loop turn

    bool fail(Error error);
    void offerConnections();
    void connectionReadable();
    void connectionClosed();

    const std::function<LocalInterfaces()> m_interfaces;
    QTcpServer m_server;
    SocketPtr m_request;
    SocketPtr m_connection;
    LinkEncoder m_encoder;
    LinkDecoder m_decoder;
    QByteArray m_received;
    qint32 m_requestID = 0;
    qint32 m_localPort = 0;
    Error m_lastError = Error::None;
};
