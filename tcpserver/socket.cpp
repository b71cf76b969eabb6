#include "tcpserver/socket.h"

#include <QTcpSocket>

#include <algorithm>
#include <utility>

Socket::Socket(std::function<LocalInterfaces()> interfaces, QObject *parent)
    : QObject(parent), m_interfaces(std::move(interfaces))
{
    // Qt must not queue a second client behind the one being offered.
    m_server.setMaxPendingConnections(1);
    connect(&m_server, &QTcpServer::newConnection, this, &Socket::offerConnections);
}

Socket::~Socket() = default;

void Socket::DeleteLater::operator()(QTcpSocket *socket) const
{
    // The socket may be the sender of the signal being handled right now.
    socket->disconnect();
    socket->abort();
    socket->deleteLater();
}

bool Socket::setLocalPort(qint32 port)
{
    if (port < 1 || port > 65535)
        return fail(Error::InvalidArgument);
    m_localPort = port;
    return true;
}

bool Socket::listen()
{
    if (state() != State::Closed || m_localPort == 0)
        return fail(Error::InvalidOperation);
    if (!m_server.listen(QHostAddress::Any, static_cast<quint16>(m_localPort)))
        return fail(Error::AddressInUse);
    return true;
}

void Socket::close()
{
    m_server.close();
    m_connection.reset();
}

Socket::State Socket::state() const
{
    if (m_connection)
        return m_connection->state() == QAbstractSocket::ConnectedState ? State::Connected : State::Closing;
    return m_server.isListening() ? State::Listening : State::Closed;
}

bool Socket::accept(qint32 requestID)
{
    if (state() != State::Closed || !m_request || requestID != m_requestID)
        return fail(Error::InvalidOperation);
    m_connection = std::move(m_request);
    // Without a limit Qt takes everything the kernel holds in one go, megabytes on a fast link, and the
    // window freezes while that is shown. The rest waits in the kernel until the next turn.
    m_connection->setReadBufferSize(kReadChunk);
    m_decoder.reset();
    connect(m_connection.get(), &QTcpSocket::readyRead, this, &Socket::connectionReadable);
    connect(m_connection.get(), &QTcpSocket::disconnected, this, &Socket::connectionClosed);
    return true;
}

bool Socket::sendData(const QString &data)
{
    if (state() != State::Connected)
        return fail(Error::WrongState);
    if (!m_encoder.isValid() || m_connection->write(m_encoder.encode(data)) < 0)
        return fail(Error::WrongState);
    m_connection->flush();
    return true;
}

QString Socket::getData()
{
    if (!m_connection)
        return QString();
    // Into the same buffer each time: a new one per arrival of a flood would be fresh memory each time.
    m_received.resize(m_connection->bytesAvailable());
    const qint64 read = m_connection->read(m_received.data(), m_received.size());
    m_received.resize(std::max<qint64>(read, 0));
    return m_decoder.decode(m_received);
}

qint64 Socket::bytesAvailable() const
{
    return m_connection ? m_connection->bytesAvailable() : 0;
}

bool Socket::fail(Error error)
{
    m_lastError = error;
    return false;
}

void Socket::offerConnections()
{
    while (QTcpSocket *incoming = m_server.nextPendingConnection()) {
        incoming->setParent(nullptr);
        m_request.reset(incoming);
        emit connectionRequest(++m_requestID);
        m_request.reset(); // not accepted: refused
    }
}

void Socket::connectionReadable()
{
    emit dataArrival(m_connection->bytesAvailable());
}

void Socket::connectionClosed()
{
    // Whatever arrived together with the close is delivered first.
    if (m_connection->bytesAvailable() > 0)
        emit dataArrival(m_connection->bytesAvailable());
    if (m_connection)
        emit peerClosed();
}
