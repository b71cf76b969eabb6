#pragma once

#include <QAbstractSocket>
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>

class QTcpSocket;

// The module's single TCP client connection, backed by a real socket.
class TcpLink : public QObject
{
    Q_OBJECT

public:
    enum class Failure { Refused, HostNotFound, TimedOut, Other };
    Q_ENUM(Failure)

    explicit TcpLink(std::chrono::milliseconds connectTimeout, QObject *parent = nullptr);

    void open(const QString &host, quint16 port);
    void send(const QByteArray &data);
    // Drops the connection without emitting anything: the caller reports the close itself.
    void close();

    bool isOpen() const { return m_open; }
    QHostAddress peerAddress() const;
    quint16 peerPort() const;
    quint16 localPort() const;

signals:
    void opened();
    void openFailed(TcpLink::Failure failure);
    void dataArrived(const QByteArray &data);
    void allWritten();
    void closedByPeer();

private:
    void onConnected();
    void onReadyRead();
    void onBytesWritten();
    void onErrorOccurred(QAbstractSocket::SocketError error);
    void onConnectTimeout();
    void failOpen(Failure failure);
    void handlePeerClose();
    void drop();

    QTcpSocket *m_socket = nullptr; // child of this link; replaced for every connection
    QTimer m_connectTimer;
    bool m_open = false;
};
