#include "support/console_fixture.h"
#include "tcpserver/socket.h"
#include "textbox/text_box.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTcpSocket>

class TestTcpConsole : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void logsConnectionAndEachBlock();
    void logViewStaysAtTheBeginning();
    void sendsTheSendBoxUnchanged();
    void secondClientIsRefused();
    void clientLeavingIsLoggedAndListeningResumes();
    void clearEmptiesBothBoxes();

private:
    void sendBlock(QTcpSocket &client, const QByteArray &bytes);
    QString log() const { return m_fixture->textBox("Text5")->toPlainText(); }

    std::unique_ptr<ConsoleFixture> m_fixture;
    quint16 m_port = 0;
};

void TestTcpConsole::init()
{
    m_fixture = std::make_unique<ConsoleFixture>();
    m_fixture->start();
    m_port = m_fixture->startServer();
}

void TestTcpConsole::cleanup()
{
    m_fixture.reset();
}

void TestTcpConsole::sendBlock(QTcpSocket &client, const QByteArray &bytes)
{
    QSignalSpy arrived(m_fixture->find<Socket>("Winsock1"), &Socket::dataArrival);
    client.write(bytes);
    client.flush();
    QVERIFY(arrived.wait());
}

void TestTcpConsole::logsConnectionAndEachBlock()
{
    auto client = connectClient(m_port);
    QTRY_COMPARE(log(), QStringLiteral("14-12-01 07:56:49\n新客户端接入\n"));

    m_fixture->clock.time = QDateTime(QDate(2025, 3, 9), QTime(23, 5, 7));
    sendBlock(*client, "CONNECT\r\n");
    // 数 split across two segments: its first half alone adds no entry, the whole character shows once.
    sendBlock(*client, "\xca");
    sendBlock(*client, "\xfd!");
    QCOMPARE(log(), QStringLiteral("14-12-01 07:56:49\n新客户端接入\n"
                                   "25-03-09 23:05:07\nCONNECT\n\n"
                                   "25-03-09 23:05:07\n数!\n"));
}

void TestTcpConsole::logViewStaysAtTheBeginning()
{
    auto client = connectClient(m_port);
    TextBox *text5 = m_fixture->textBox("Text5");
    for (int i = 0; i < 40; ++i)
        sendBlock(*client, "block " + QByteArray::number(i));
    QTRY_VERIFY(text5->verticalScrollBar()->maximum() > 0);
    QCOMPARE(text5->cursorPosition(), 0);
    QCOMPARE(text5->verticalScrollBar()->value(), 0);
}

void TestTcpConsole::sendsTheSendBoxUnchanged()
{
    m_fixture->textBox("Text6")->setText(QStringLiteral("回复\r\nline"));
    m_fixture->click("Command6");
    QCOMPARE(m_fixture->messages.texts(), QStringList{QStringLiteral("发送失败！")});
    QCOMPARE(m_fixture->messages.shown.first().icon, MessageBox::Icon::Error);

    auto client = connectClient(m_port);
    QTRY_VERIFY(!log().isEmpty());
    const QString logBefore = log();
    m_fixture->click("Command6");
    QTRY_COMPARE(client->bytesAvailable(), 10);
    QCOMPARE(client->readAll(), QByteArray("\xbb\xd8\xb8\xb4\r\nline"));
    QCOMPARE(m_fixture->textBox("Text6")->text(), QStringLiteral("回复\r\nline"));
    QCOMPARE(log(), logBefore);
    QCOMPARE(m_fixture->messages.shown.size(), 1);
}

void TestTcpConsole::secondClientIsRefused()
{
    auto first = connectClient(m_port);
    QTRY_VERIFY(log().contains(QStringLiteral("新客户端接入")));

    QTcpSocket second;
    QSignalSpy secondGone(&second, &QTcpSocket::errorOccurred);
    second.connectToHost(QHostAddress::LocalHost, m_port);
    QVERIFY(secondGone.wait());
    QCOMPARE(log().count(QStringLiteral("新客户端接入")), 1);

    sendBlock(*first, "still here");
    QVERIFY(log().endsWith(QStringLiteral("still here\n")));
}

void TestTcpConsole::clientLeavingIsLoggedAndListeningResumes()
{
    auto first = connectClient(m_port);
    QTRY_VERIFY(log().contains(QStringLiteral("新客户端接入")));
    first->disconnectFromHost();
    QTRY_VERIFY(log().endsWith(QStringLiteral("客户端断开\n")));
    QCOMPARE(m_fixture->button("Command3")->text(), QStringLiteral("关闭监听"));

    auto again = connectClient(m_port);
    QTRY_COMPARE(log().count(QStringLiteral("新客户端接入")), 2);
    sendBlock(*again, "back");
    QVERIFY(log().endsWith(QStringLiteral("back\n")));
    QVERIFY(m_fixture->messages.shown.isEmpty());
}

void TestTcpConsole::clearEmptiesBothBoxes()
{
    auto client = connectClient(m_port);
    QTRY_VERIFY(!log().isEmpty());
    m_fixture->textBox("Text6")->setText(QStringLiteral("x"));
    m_fixture->click("Command7");
    QCOMPARE(log(), QString());
    QCOMPARE(m_fixture->textBox("Text6")->text(), QString());
}

QTEST_MAIN(TestTcpConsole)
#include "tst_tcp_console.moc"
