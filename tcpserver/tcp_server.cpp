#include "tcpserver/tcp_server.h"

#include <QTcpSocket>

#include <algorithm>
#include <utility>

TcpServer::TcpServer(QObject *parent) : QObject(parent)
{
    // Qt must not queue a second client behind the one being taken.
    m_server.setMaxPendingConnections(1);
    connect(&m_server, &QTcpServer::newConnection, this, &TcpServer::takeClients);
}

TcpServer::~TcpServer() = default;

void TcpServer::DeleteLater::operator()(QTcpSocket *socket) const
{
    // The socket may be the sender of the signal being handled right now.
    socket->disconnect();
    socket->abort();
    socket->deleteLater();
}

void TcpServer::listen(qint32 port)
{
    m_server.close();
    m_client.reset();
    if (port < 1 || port > 65535) {
        setState(State::Failed);
        return;
    }
    m_port = static_cast<quint16>(port);
    setState(m_server.listen(QHostAddress::Any, m_port) ? State::Listening : State::Failed);
}

void TcpServer::stop()
{
    m_server.close();
    m_client.reset();
    setState(State::Idle);
}

bool TcpServer::hasClient() const
{
    return m_client && m_client->state() == QAbstractSocket::ConnectedState;
}

bool TcpServer::send(const QString &text)
{
    if (!hasClient() || !m_codec.canEncode() || m_client->write(m_codec.encode(text)) < 0)
        return false;
    m_client->flush();
    return true;
}

void TcpServer::pauseReading()
{
    m_paused = true;
}

void TcpServer::resumeReading()
{
    if (!std::exchange(m_paused, false))
        return;
    if (std::exchange(m_leftWhilePaused, false)) {
        const QString leftover = std::exchange(m_leftover, QString());
        if (!leftover.isEmpty())
            emit received(leftover);
        emit clientLeft();
    } else if (m_client && m_client->bytesAvailable() > 0) {
        // The connection says nothing new until it is read: what it holds is taken now.
        readArrivals();
    }
}

void TcpServer::setState(State state)
{
    m_state = state;
    emit stateChanged(state);
}

void TcpServer::takeClients()
{
    while (QTcpSocket *incoming = m_server.nextPendingConnection()) {
        incoming->setParent(nullptr);
        SocketPtr client(incoming);
        // Paused, the server takes nothing new: the log holding back the last client has no room.
        if (m_paused)
            continue;
        // One client at a time: while it is connected nobody else gets in.
        m_server.close();
        m_client = std::move(client);
        // Without a limit Qt takes everything the kernel holds in one go, megabytes on a fast link, and
        // the window freezes while that is shown. The rest waits in the kernel until the next turn.
        m_client->setReadBufferSize(kReadChunk);
        m_codec.restart();
        connect(m_client.get(), &QTcpSocket::readyRead, this, &TcpServer::readArrivals);
        connect(m_client.get(), &QTcpSocket::disconnected, this, &TcpServer::clientClosed);
        emit clientConnected();
    }
}

void TcpServer::readArrivals()
{
    if (m_paused || !m_client)
        return;
    emit aboutToReceive(m_client->bytesAvailable());
    if (m_paused || !m_client)
        return;
    // A block holding only the first half of a two-byte character decodes to nothing yet; the
    // character comes whole with the next block.
    const QString text = readAll();
    if (!text.isEmpty())
        emit received(text);
}

QString TcpServer::readAll()
{
    // Into the same buffer each time: a new one per arrival of a flood would be fresh memory each time.
    QByteArray &buffer = m_codec.receiveBuffer();
    buffer.resize(m_client->bytesAvailable());
    const qint64 read = m_client->read(buffer.data(), buffer.size());
    buffer.resize(std::max<qint64>(read, 0));
    return m_codec.decodeReceived();
}

void TcpServer::clientClosed()
{
    // Whatever arrived together with the close is delivered first.
    if (m_client->bytesAvailable() > 0)
        readArrivals();
    if (!m_client)
        return;
    if (m_paused) {
        // The connection goes now; what it had delivered (one read's worth at most) waits here.
        m_leftover = readAll();
        m_leftWhilePaused = true;
    } else {
        emit clientLeft();
    }
    m_client.reset();
    if (m_server.listen(QHostAddress::Any, m_port))
        return;
    setState(State::Failed);
}
