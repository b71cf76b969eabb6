#include "support/console_fixture.h"
#include "tcpserver/socket.h"
#include "textbox/text_box.h"

#include <QDir>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTcpSocket>

#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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
    void sendsTheSendBoxUnchanged();
    void clientThatDoesNotRead();
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
    QSignalSpy arrived(m_fixture->find<Socket>("Winsock1"), &Socket::dataArrival);
    client.write(bytes);
    client.flush();
    QVERIFY(arrived.wait());
}

// The window goes on serving: a client is (still or again) connected and text flows both ways.
void TestTcpConsole::verifyStillServes(QTcpSocket &client)
{
    QVERIFY(client.waitForConnected(5000));
    QTRY_VERIFY(m_fixture->find<Socket>("Winsock1")->state() == Socket::kStateConnected);
    client.write("still here");
    QTRY_VERIFY(log().endsWith(QStringLiteral("still here\n")));
    m_fixture->textBox("Text6")->setText(QStringLiteral("回复"));
    m_fixture->click("Command6");
    QTRY_COMPARE(client.bytesAvailable(), 4);
    QCOMPARE(client.readAll(), QByteArray("\xbb\xd8\xb8\xb4"));
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
    m_fixture->textBox("Text6")->setText(QStringLiteral("x"));
    m_fixture->click("Command7"); // clears both boxes
    QCOMPARE(log(), QString());
    QCOMPARE(m_fixture->textBox("Text6")->text(), QString());
}

void TestTcpConsole::oddBytesAreLoggedAsTheyCame_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown"); // the block's entry in the log, as the box shows it
    QTest::newRow("NUL bytes") << QByteArray("\0a\0\0b\0", 6) << literal(u"\0a\0\0b\0");
    QTest::newRow("lone CR, lone LF") << QByteArray("a\rb\nc") << "a\nb\nc";
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << "a\n\nb";
    QTest::newRow("ends in CR") << QByteArray("a\r") << "a\n";
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
    QVERIFY(m_fixture->messages.shown.isEmpty());
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

void TestTcpConsole::clientThatDoesNotRead()
{
    auto client = connectClient(m_port);
    QTRY_COMPARE(connectedCount(), 1);
    constexpr int kPieces = kMiB / 16;
    m_fixture->textBox("Text6")->setText(literal(u"回复 line\r\nx\0y\rz ").repeated(kPieces));
    const QByteArray one = QByteArray("\xbb\xd8\xb8\xb4 line\r\nx\0y\rz ", 17).repeated(kPieces);
    for (int i = 0; i < 16; ++i)
        m_fixture->click("Command6");
    const auto cpu = cpuWhileIdle();
    QVERIFY2(cpu < kIdleCpuBound, qPrintable(QString::number(cpu.count())));
    QVERIFY(m_fixture->messages.shown.isEmpty());

    // Once it reads, every byte of every send arrives, in order.
    QByteArray wire;
    QTRY_COMPARE_WITH_TIMEOUT((wire += client->readAll()).size(), one.size() * 16, 60000);
    QVERIFY(wire == one.repeated(16));
}

void TestTcpConsole::secondClientIsRefused()
{
    auto first = connectClient(m_port);
    QTRY_COMPARE(connectedCount(), 1);
    const qsizetype descriptorsBefore = openDescriptors();

    // 200 raw non-blocking attempts at once; each must end refused or reset.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<int> attempts;
    for (int i = 0; i < 200; ++i) {
        attempts.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ::connect(attempts.back(), reinterpret_cast<const sockaddr *>(&address), sizeof address);
    }
    // Still open from the client's side: no error and no end of stream.
    const auto alive = [](int fd) {
        pollfd pfd{fd, POLLIN, 0};
        char byte;
        return ::poll(&pfd, 1, 0) == 0 || (!(pfd.revents & (POLLERR | POLLHUP)) &&
                                           ::recv(fd, &byte, 1, MSG_PEEK) < 0 && errno == EAGAIN);
    };
    QTRY_COMPARE_WITH_TIMEOUT(std::count_if(attempts.cbegin(), attempts.cend(), alive), std::ptrdiff_t(0),
                              20000);
    for (int fd : attempts)
        ::close(fd);
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
    QCOMPARE(m_fixture->button("Command3")->text(), QStringLiteral("关闭监听"));
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
