#include "support/console_fixture.h"
#include "tcpserver/socket.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

// The TCP endpoint on its own: real sockets on the loopback.
class TestSocket : public QObject
{
    Q_OBJECT

private slots:
    void localPortRange_data();
    void localPortRange();
    void listenFailures();
    void acceptedClientExchangesText();
    void unacceptedRequestIsRefused();
    void sendWithoutConnectionFails();
    void closeDropsTheClient();
};

namespace {
// Accepts each request the way the console does: stop listening, then accept on the same endpoint.
void acceptOnSameEndpoint(Socket &socket)
{
    QObject::connect(&socket, &Socket::connectionRequest, &socket, [&socket](qint32 id) {
        socket.close();
        QVERIFY(socket.accept(id));
    });
}

std::unique_ptr<QTcpSocket> connectClient(quint16 port)
{
    auto client = std::make_unique<QTcpSocket>();
    client->connectToHost(QHostAddress::LocalHost, port);
    return client;
}
} // namespace

void TestSocket::localPortRange_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("1") << 1 << true;
    QTest::newRow("65535") << 65535 << true;
    QTest::newRow("0") << 0 << false;
    QTest::newRow("-1") << -1 << false;
    QTest::newRow("65536") << 65536 << false;
}

void TestSocket::localPortRange()
{
    QFETCH(int, port);
    QFETCH(bool, accepted);
    Socket socket;
    QCOMPARE(socket.setLocalPort(port), accepted);
}

void TestSocket::listenFailures()
{
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress::Any, 0));
    Socket socket;
    QVERIFY(!socket.listen()); // no port set
    QVERIFY(socket.setLocalPort(other.serverPort()));
    QVERIFY(!socket.listen());
    QCOMPARE(socket.state(), Socket::kStateClosed);

    QVERIFY(socket.setLocalPort(freeTcpPort()));
    QVERIFY(socket.listen());
    QCOMPARE(socket.state(), Socket::kStateListening);
    QVERIFY(!socket.listen());
    QCOMPARE(socket.lastError(), Socket::kErrInvalidOperation);
}

void TestSocket::acceptedClientExchangesText()
{
    Socket socket;
    acceptOnSameEndpoint(socket);
    QVERIFY(socket.setLocalPort(freeTcpPort()));
    QVERIFY(socket.listen());
    QSignalSpy arrivals(&socket, &Socket::dataArrival);

    auto client = connectClient(socket.localPort());
    QTRY_COMPARE(socket.state(), Socket::kStateConnected);

    // 数 is B5 FD: the two halves arrive in separate segments.
    client->write("\xca\xfd\xbe\xdd \xca");
    client->flush();
    QTRY_VERIFY(!arrivals.isEmpty());
    QString received = socket.getData();
    client->write("\xfd");
    client->flush();
    QTRY_COMPARE(arrivals.count(), 2);
    received += socket.getData();
    QCOMPARE(received, QStringLiteral("数据 数"));

    QVERIFY(socket.sendData(QStringLiteral("回复\r\n")));
    QTRY_COMPARE(client->bytesAvailable(), 6);
    QCOMPARE(client->readAll(), QByteArray("\xbb\xd8\xb8\xb4\r\n"));
}

void TestSocket::unacceptedRequestIsRefused()
{
    Socket socket;
    QVERIFY(socket.setLocalPort(freeTcpPort()));
    QVERIFY(socket.listen());
    QSignalSpy requests(&socket, &Socket::connectionRequest);

    auto client = connectClient(socket.localPort());
    QSignalSpy dropped(client.get(), &QTcpSocket::disconnected);
    QVERIFY(dropped.wait());
    QCOMPARE(requests.count(), 1);
    QCOMPARE(socket.state(), Socket::kStateListening);
}

void TestSocket::sendWithoutConnectionFails()
{
    Socket socket;
    QVERIFY(!socket.sendData(QStringLiteral("x")));
    QVERIFY(socket.setLocalPort(freeTcpPort()));
    QVERIFY(socket.listen());
    QVERIFY(!socket.sendData(QStringLiteral("x")));
    QCOMPARE(socket.lastError(), Socket::kErrWrongState);
    QCOMPARE(socket.getData(), QString());
}

void TestSocket::closeDropsTheClient()
{
    Socket socket;
    acceptOnSameEndpoint(socket);
    QVERIFY(socket.setLocalPort(freeTcpPort()));
    QVERIFY(socket.listen());
    auto client = connectClient(socket.localPort());
    QTRY_COMPARE(socket.state(), Socket::kStateConnected);

    QSignalSpy dropped(client.get(), &QTcpSocket::disconnected);
    socket.close();
    QCOMPARE(socket.state(), Socket::kStateClosed);
    QVERIFY(dropped.wait());

    // And the other way round: the client leaving is reported once.
    QVERIFY(socket.listen());
    QSignalSpy peerClosed(&socket, &Socket::peerClosed);
    auto second = connectClient(socket.localPort());
    QTRY_COMPARE(socket.state(), Socket::kStateConnected);
    second->disconnectFromHost();
    QVERIFY(peerClosed.wait());
    QCOMPARE(peerClosed.count(), 1);
    QCOMPARE(socket.state(), Socket::kStateClosing);
}

QTEST_MAIN(TestSocket)
#include "tst_socket.moc"
