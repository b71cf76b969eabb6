#include "support/console_fixture.h"
#include "tcpserver/tcp_server.h"
#include "textbox/text_box.h"

#include <QDir>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTcpSocket>

#include <algorithm>
#include <sys/socket.h>

class TestTcpConsole : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void logsConnectionAndEachBlock();
    void oddBytesAreLoggedAsTheyCame_data();
    void oddBytesAreLoggedAsTheyCame();
    void logViewStaysAtTheBeginning();
    void clientThatDoesNotRead();
    void fullLogHoldsTheClientBackUntilCleared();
    void secondClientIsRefused();
    void clientLeavingIsLoggedAndListeningResumes_data();
    void clientLeavingIsLoggedAndListeningResumes();

private:
    void sendBlock(QTcpSocket &client, const QByteArray &bytes);
    void verifyStillServes(QTcpSocket &client);
    QString log() const { return m_fixture->textBox("Text5")->toPlainText(); }
    int connectedCount() const { return int(log().count(QStringLiteral("新客户端接入"))); }

    std::unique_ptr<ConsoleFixture> m_fixture;
    quint16 m_port = 0;
};

namespace {
constexpr int kMiB = 1024 * 1024;
const QString kConnected = QStringLiteral("14-12-01 07:56:49\n新客户端接入\n");

qsizetype openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
}

// Linger 0: closing sends a reset instead of an orderly goodbye.
void reset(QTcpSocket &client)
{
    const linger abortive{1, 0};
    ::setsockopt(int(client.socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    client.abort();
}
} // namespace

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
    QSignalSpy arrived(m_fixture->find<TcpServer>("tcpServer"), &TcpServer::aboutToReceive);
    client.write(bytes);
    client.flush();
    QVERIFY(arrived.wait());
}

// The window goes on serving: a client is (still or again) connected and text flows both ways, the
// send box going out unchanged and unlogged.
void TestTcpConsole::verifyStillServes(QTcpSocket &client)
{
    QVERIFY(client.waitForConnected(5000));
    QTRY_VERIFY(m_fixture->find<TcpServer>("tcpServer")->hasClient());
    client.write("still here");
    QTRY_VERIFY(log().endsWith(QStringLiteral("still here\n")));
    const QString logBefore = log();
    m_fixture->textBox("Text6")->setText(QStringLiteral("回复\r\nline"));
    m_fixture->click("Command6");
    QTRY_COMPARE(client.bytesAvailable(), 10);
    QCOMPARE(client.readAll(), QByteArray("\xbb\xd8\xb8\xb4\r\nline"));
    QCOMPARE(m_fixture->textBox("Text6")->text(), QStringLiteral("回复\r\nline"));
    QCOMPARE(log(), logBefore);
    QVERIFY(m_fixture->messages.shown.isEmpty());
}

void TestTcpConsole::logsConnectionAndEachBlock()
{
    auto client = connectClient(m_port);
    QTRY_COMPARE(log(), kConnected);

    m_fixture->clock.time = QDateTime(QDate(2025, 3, 9), QTime(23, 5, 7));
    sendBlock(*client, "CONNECT\r\n");
    // 数 split across two segments: its first half alone adds no entry, the whole character shows once.
    sendBlock(*client, "\xca");
    sendBlock(*client, "\xfd!");
    QCOMPARE(log(), kConnected + QStringLiteral("25-03-09 23:05:07\nCONNECT\n\n"
                                                "25-03-09 23:05:07\n数!\n"));
    m_fixture->click("Command7");
    QCOMPARE(log(), QString());
}

void TestTcpConsole::oddBytesAreLoggedAsTheyCame_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown"); // the block's entry in the log, as the box shows it
    QTest::newRow("NUL bytes") << QByteArray("\0a\0\0b\0", 6) << literal(u"\0a\0\0b\0");
    QTest::newRow("lone CR, lone LF") << QByteArray("a\rb\nc") << "a\nb\nc";
    QTest::newRow("terminal controls") << QByteArray("\x1b[2J\x07\x08\x7f!") << "\x1b[2J\x07\x08\x7f!";
    QTest::newRow("lead byte before ASCII") << QByteArray("\x81 x") << QString::fromUtf16(u"\xfffd x");
    QTest::newRow("euro sign of code page 936") << QByteArray("\x80") << QString::fromUtf16(u"\x20ac");
}

void TestTcpConsole::oddBytesAreLoggedAsTheyCame()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    auto client = connectClient(m_port);
    QTRY_COMPARE(log(), kConnected);
    sendBlock(*client, bytes);
    QCOMPARE(log(), kConnected + QStringLiteral("14-12-01 07:56:49\n") + shown + QLatin1Char('\n'));
}

void TestTcpConsole::logViewStaysAtTheBeginning()
{
    auto client = connectClient(m_port);
    TextBox *text5 = m_fixture->textBox("Text5");
    for (int i = 0; i < 40; ++i)
        sendBlock(*client, "block " + QByteArray::number(i));
    QTRY_VERIFY(text5->verticalScrollBar()->maximum() > 0);
    QCOMPARE(text5->verticalScrollBar()->value(), 0);
}

void TestTcpConsole::clientThatDoesNotRead()
{
    auto client = connectClient(m_port);
    // The client takes in no more than this: the rest waits in the kernel's buffers and the window's.
    constexpr qint64 kClientTakes = 64 * 1024;
    client->setReadBufferSize(kClientTakes);
    QTRY_COMPARE(connectedCount(), 1);
    constexpr int kPieces = kMiB / 16;
    m_fixture->textBox("Text6")->setText(literal(u"回复 line\r\nx\0y\rz ").repeated(kPieces));
    const QByteArray one = QByteArray("\xbb\xd8\xb8\xb4 line\r\nx\0y\rz ", 17).repeated(kPieces);
    for (int i = 0; i < 16; ++i)
        m_fixture->click("Command6");
    QTRY_COMPARE(client->bytesAvailable(), kClientTakes);
    const auto cpu = m_fixture->cpuWhileIdle();
    QVERIFY2(cpu < kIdleCpuBound, qPrintable(QString::number(cpu.count())));
    QVERIFY(m_fixture->messages.shown.isEmpty());

    // Once it reads, every byte of every send arrives, in order.
    client->setReadBufferSize(0);
    QTRY_COMPARE_WITH_TIMEOUT(client->bytesAvailable(), one.size() * 16, 60000);
    QVERIFY(client->readAll() == one.repeated(16));
}

void TestTcpConsole::fullLogHoldsTheClientBackUntilCleared()
{
    // A full log reads no more: TCP holds the client back, nothing is lost, and each clearing lets the
    // rest in, in order.
    constexpr qint64 kCeiling = 4 * kMiB;
    m_fixture.reset();
    m_fixture = std::make_unique<ConsoleFixture>();
    m_fixture->receiveCeiling = kCeiling;
    m_fixture->start();
    m_port = m_fixture->startServer();
    QByteArray sent;
    for (int i = 0; sent.size() < 16 * kMiB; ++i)
        sent += QByteArray::number(i).rightJustified(10, '0') + '\n';
    auto client = connectClient(m_port);
    QTRY_COMPARE(log(), kConnected);
    client->write(sent);
    // The log without its timestamps, connection entries and line breaks: the digits the client sent.
    const auto digits = [this] {
        return log()
            .remove(QStringLiteral("14-12-01 07:56:49\n"))
            .remove(QStringLiteral("新客户端接入"))
            .remove(u'\n');
    };
    const QString expected = QString::fromLatin1(QByteArray(sent).replace('\n', ""));
    QString received;
    for (int fill = 0; fill < 40 && received.size() < expected.size(); ++fill) {
        QTRY_VERIFY_WITH_TIMEOUT(m_fixture->messages.shown.size() > fill ||
                                     received.size() + digits().size() == expected.size(),
                                 10000);
        QVERIFY(m_fixture->textBox("Text5")->heldBytes() <= kCeiling);
        if (fill == 0)
            QVERIFY(client->bytesToWrite() > 0);
        received += digits();
        m_fixture->click("Command7");
    }
    QCOMPARE(received, expected);
    QCOMPARE(m_fixture->messages.texts().first(),
             QStringLiteral("TCP接收内容已达 4 MB 上限，已暂停接收；清空后继续。"));
}

void TestTcpConsole::secondClientIsRefused()
{
    auto first = connectClient(m_port);
    QTRY_COMPARE(connectedCount(), 1);
    const qsizetype descriptorsBefore = openDescriptors();

    // Many attempts at once; each must end refused or reset.
    std::vector<std::unique_ptr<QTcpSocket>> attempts(100);
    for (auto &attempt : attempts) {
        attempt = std::make_unique<QTcpSocket>();
        attempt->connectToHost(QHostAddress::LocalHost, m_port);
    }
    const auto ended = [](const auto &attempt) {
        return attempt->state() == QAbstractSocket::UnconnectedState;
    };
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(attempts.cbegin(), attempts.cend(), ended), 20000);
    attempts.clear();
    verifyStillServes(*first);
    QCOMPARE(connectedCount(), 1);
    // Every refused attempt has let go of its descriptor on the window's side.
    QTRY_COMPARE(openDescriptors(), descriptorsBefore);
}

void TestTcpConsole::clientLeavingIsLoggedAndListeningResumes_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("orderly goodbye") << "goodbye";
    QTest::newRow("reset right after connecting") << "reset";
    QTest::newRow("reset while sending to the window") << "reset receiving";
    QTest::newRow("reset while the window sends to it") << "reset sending";
}

void TestTcpConsole::clientLeavingIsLoggedAndListeningResumes()
{
    QFETCH(QString, how);
    auto first = connectClient(m_port);
    QTRY_COMPARE(connectedCount(), 1);
    if (how == QLatin1String("goodbye")) {
        first->disconnectFromHost();
    } else {
        if (how == QLatin1String("reset receiving")) {
            first->write(QByteArray(16 * kMiB, 'x'));
            QTRY_VERIFY(log().size() > 100000);
        } else if (how == QLatin1String("reset sending")) {
            m_fixture->textBox("Text6")->setText(QString(4 * kMiB, QLatin1Char('x')));
            m_fixture->click("Command6");
        }
        reset(*first);
    }
    QTRY_VERIFY(log().endsWith(QStringLiteral("客户端断开\n")));
    QCOMPARE(log().count(QStringLiteral("客户端断开")), 1);
    QVERIFY(m_fixture->messages.shown.isEmpty());

    // With nobody connected the send button says so; the next client is served as usual.
    m_fixture->click("Command6");
    QCOMPARE(m_fixture->messages.texts(), QStringList{QStringLiteral("发送失败！")});
    m_fixture->messages.shown.clear();
    auto again = connectClient(m_port);
    QTRY_COMPARE(connectedCount(), 2);
    verifyStillServes(*again);
}

QTEST_MAIN(TestTcpConsole)
#include "tst_tcp_console.moc"
