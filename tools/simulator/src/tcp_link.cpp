#include "tcp_link.h"

#include <QTcpSocket>

TcpLink::TcpLink(std::chrono::milliseconds connectTimeout, QObject *parent) : QObject(parent)
{
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(connectTimeout);
    connect(&m_connectTimer, &QTimer::timeout, this, &TcpLink::onConnectTimeout);
}

void TcpLink::open(const QString &host, quint16 port)
{
    drop();
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &TcpLink::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &TcpLink::onReadyRead);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &TcpLink::onBytesWritten);
    connect(m_socket, &QTcpSocket::disconnected, this, &TcpLink::handlePeerClose);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &TcpLink::onErrorOccurred);
    m_connectTimer.start();
    m_socket->connectToHost(host, port);
}

void TcpLink::send(const QByteArray &data)
{
    if (m_open)
        m_socket->write(data);
}

void TcpLink::close()
{
    drop();
}

QHostAddress TcpLink::peerAddress() const
{
    return m_open ? m_socket->peerAddress() : QHostAddress();
}

quint16 TcpLink::peerPort() const
{
    return m_open ? m_socket->peerPort() : 0;
}

quint16 TcpLink::localPort() const
{
    return m_open ? m_socket->localPort() : 0;
}

void TcpLink::onConnected()
{
    m_connectTimer.stop();
    m_open = true;
    emit opened();
}

void TcpLink::onReadyRead()
{
    const QByteArray data = m_socket->readAll();
    if (!data.isEmpty())
        emit dataArrived(data);
}

void TcpLink::onBytesWritten()
{
    if (m_socket->bytesToWrite() == 0)
        emit allWritten();
}

void TcpLink::onErrorOccurred(QAbstractSocket::SocketError error)
{
    if (m_open) {
        handlePeerClose();
        return;
    }
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        failOpen(Failure::Refused);
        break;
    case QAbstractSocket::HostNotFoundError:
        failOpen(Failure::HostNotFound);
        break;
    default:
        failOpen(Failure::Other);
        break;
    }
}

void TcpLink::onConnectTimeout()
{
    failOpen(Failure::TimedOut);
}

void TcpLink::failOpen(Failure failure)
{
    drop();
    emit openFailed(failure);
}

void TcpLink::handlePeerClose()
{
    if (!m_open)
        return;
    // Whatever the peer sent just before closing still reaches the module first.
    const QByteArray rest = m_socket->readAll();
    drop();
    if (!rest.isEmpty())
        emit dataArrived(rest);
    emit closedByPeer();
}

void TcpLink::drop()
{
    m_connectTimer.stop();
    m_open = false;
    if (!m_socket)
        return;
    // This may run inside one of the socket's own signals, so it is deleted later, never here.
    disconnect(m_socket, nullptr, this, nullptr);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
}
