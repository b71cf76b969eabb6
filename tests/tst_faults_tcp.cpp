#include "support/console_fixture.h"
#include "support/fault_probes.h"
#include "support/pty.h"
#include "tcpserver/socket.h"
#include "textbox/text_box.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpSocket>

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// Clients on the LAN that misbehave: resetting in the middle of a transfer, connecting and saying
// nothing, hammering the port while one is connected, never reading what they are sent.
class TestFaultsTcp : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void clientResetsMidTransfer_data();
    void clientResetsMidTransfer();
    void silentClient();
    void connectionStorm_data();
    void connectionStorm();
    void clientThatDoesNotRead_data();
    void clientThatDoesNotRead();

private:
    int connectedCount() const;
    void verifyStillServes(QTcpSocket &client);
    QString log() const { return m_fixture->textBox("Text5")->toPlainText(); }

    std::unique_ptr<ConsoleFixture> m_fixture;
    quint16 m_port = 0;
};

namespace {
constexpr qint64 kMiB = 1024 * 1024;
constexpr int kObserveMs = 500;
constexpr std::chrono::milliseconds kIdleCpuBound{150};
const QString kTimestamp = QStringLiteral("14-12-01 07:56:49");

std::chrono::milliseconds cpuWhileObserving()
{
    const auto before = cpuTime();
    QTest::qWait(kObserveMs); // watching the window on its own, not waiting for anything
    return cpuTime() - before;
}

// Linger 0: closing sends a reset instead of an orderly goodbye.
void resetConnection(int fd)
{
    const linger abortive{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    ::close(fd);
}

// The data of the log's entries between the connection and the disconnection, joined: what arrived.
QString loggedData(const TextBox &log)
{
    QString data;
    bool entryStart = false;
    int block = 0;
    forEachLine(log, [&](const QString &text) {
        if (block++ < 2)
            return true;
        if (text == QStringLiteral("客户端断开"))
            return false;
        if (text == kTimestamp) {
            entryStart = true;
            return true;
        }
        if (!std::exchange(entryStart, false))
            data += QLatin1Char('\n');
        data += text;
        return true;
    });
    return data;
}
} // namespace

void TestFaultsTcp::init()
{
    m_fixture = std::make_unique<ConsoleFixture>();
    m_fixture->start();
    m_port = m_fixture->startServer();
}

void TestFaultsTcp::cleanup()
{
    m_fixture.reset();
}

int TestFaultsTcp::connectedCount() const
{
    return int(log().count(QStringLiteral("新客户端接入")));
}

// The window goes on serving: a client is (still or again) connected and text flows both ways.
void TestFaultsTcp::verifyStillServes(QTcpSocket &client)
{
    QVERIFY(client.waitForConnected(5000));
    QTRY_VERIFY(m_fixture->find<Socket>("Winsock1")->state() == Socket::kStateConnected);
    client.write("still here");
    QTRY_VERIFY(log().endsWith(QStringLiteral("still here\n")));
    m_fixture->textBox("Text6")->setText(QStringLiteral("回复"));
    const int shownBefore = int(m_fixture->messages.shown.size());
    m_fixture->click("Command6");
    QTRY_COMPARE(client.bytesAvailable(), 4);
    QCOMPARE(client.readAll(), QByteArray("\xbb\xd8\xb8\xb4"));
    QCOMPARE(m_fixture->messages.shown.size(), shownBefore);
}

void TestFaultsTcp::clientResetsMidTransfer_data()
{
    QTest::addColumn<QString>("when");
    QTest::newRow("while sending to the window") << "receiving";
    QTest::newRow("while the window sends to it") << "sending";
    QTest::newRow("right after connecting") << "connected";
}

void TestFaultsTcp::clientResetsMidTransfer()
{
    QFETCH(QString, when);
    const int fd = connectLoopback(m_port);
    QVERIFY(fd >= 0);
    QTRY_COMPARE(connectedCount(), 1);

    if (when == QLatin1String("receiving")) {
        FloodWriter writer(::dup(fd), 64 * kMiB, true);
        QTRY_VERIFY(log().size() > 100000);
        resetConnection(fd); // the writer's copy goes with it when it stops
    } else if (when == QLatin1String("sending")) {
        m_fixture->textBox("Text6")->setText(QString(4 * kMiB, QLatin1Char('x')));
        m_fixture->click("Command6");
        resetConnection(fd);
    } else {
        resetConnection(fd);
    }
    QTRY_VERIFY(log().endsWith(QStringLiteral("客户端断开\n")));
    QCOMPARE(log().count(QStringLiteral("客户端断开")), 1);
    QVERIFY(m_fixture->messages.shown.isEmpty());
    QCOMPARE(m_fixture->button("Command3")->text(), QStringLiteral("关闭监听"));

    // What was logged before the reset is the flood's beginning, in order; the last entry's text
    // (always followed by the logged disconnection) ends in a timestamp line, so it is dropped.
    QStringList lines = loggedData(*m_fixture->textBox("Text5")).split(QLatin1Char('\n'));
    lines.removeLast();
    FloodChecker checker;
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (!lines.at(i).isEmpty()) // a CR LF pair split between two blocks adds an empty line
            QVERIFY2(checker.line(lines.at(i)), qPrintable(checker.firstMismatch()));
    }
    if (!lines.isEmpty())
        QVERIFY(FloodText::shownLine(checker.linesSeen()).startsWith(lines.last()));
    if (when == QLatin1String("receiving"))
        qInfo("%lld lines logged before the reset", checker.linesSeen());

    // With nobody connected the send button says so; the next client is served as usual.
    m_fixture->click("Command6");
    QCOMPARE(m_fixture->messages.texts(), QStringList{QStringLiteral("发送失败！")});
    m_fixture->messages.shown.clear();
    auto next = connectClient(m_port);
    verifyStillServes(*next);
}

void TestFaultsTcp::silentClient()
{
    auto silent = connectClient(m_port);
    QTRY_COMPARE(connectedCount(), 1);
    const auto cpu = cpuWhileObserving();
    QVERIFY2(cpu < kIdleCpuBound, qPrintable(QString::number(cpu.count())));
    QCOMPARE(log(), QStringLiteral("14-12-01 07:56:49\n新客户端接入\n"));

    // It holds the one place: others are turned away, and it can still be talked to.
    QTcpSocket other;
    QSignalSpy otherGone(&other, &QTcpSocket::errorOccurred);
    other.connectToHost(QHostAddress::LocalHost, m_port);
    QVERIFY(otherGone.wait());
    m_fixture->textBox("Text6")->setText(QStringLiteral("hello?"));
    m_fixture->click("Command6");
    QTRY_COMPARE(silent->bytesAvailable(), 6);

    // Stopping the server drops it, and nothing is left open.
    QSignalSpy dropped(silent.get(), &QTcpSocket::disconnected);
    m_fixture->click("Command3");
    QVERIFY(dropped.wait());
    QCOMPARE(connectedCount(), 1);
    QVERIFY(m_fixture->messages.shown.isEmpty());
}

void TestFaultsTcp::connectionStorm_data()
{
    QTest::addColumn<bool>("acceptFirst");
    QTest::addColumn<bool>("allAtOnce");
    QTest::newRow("one at a time while one is connected") << true << false;
    QTest::newRow("all at once while one is connected") << true << true;
    QTest::newRow("all at once on a free server") << false << true;
}

void TestFaultsTcp::connectionStorm()
{
    QFETCH(bool, acceptFirst);
    QFETCH(bool, allAtOnce);
    constexpr int kAttempts = 200;
    std::unique_ptr<QTcpSocket> first;
    if (acceptFirst) {
        first = connectClient(m_port);
        QTRY_COMPARE(connectedCount(), 1);
    }
    const QStringList descriptorsBefore = openDescriptors();

    // Raw non-blocking sockets; each attempt ends refused, reset, closed by the window, or (once, on a
    // free server) accepted.
    std::vector<int> attempts;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto attempt = [&] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
        attempts.push_back(fd);
        return fd;
    };
    // Still open from the client's side: no error and no end of stream.
    const auto alive = [](int fd) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 0) == 0)
            return true;
        char byte;
        return !(pfd.revents & (POLLERR | POLLHUP)) && ::recv(fd, &byte, 1, MSG_PEEK) < 0 && errno == EAGAIN;
    };
    const auto aliveCount = [&] { return std::count_if(attempts.cbegin(), attempts.cend(), alive); };
    if (allAtOnce) {
        for (int i = 0; i < kAttempts; ++i)
            attempt();
    } else {
        for (int i = 0; i < kAttempts; ++i) {
            const int fd = attempt();
            pollfd pfd{fd, POLLOUT, 0};
            ::poll(&pfd, 1, 5000); // the attempt is decided
            QCoreApplication::processEvents();
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(aliveCount(), acceptFirst ? 0 : 1, 20000);
    QCOMPARE(connectedCount(), 1);

    const auto survivor = std::find_if(attempts.cbegin(), attempts.cend(), alive);
    if (!acceptFirst) {
        first = std::make_unique<QTcpSocket>();
        QVERIFY(first->setSocketDescriptor(::dup(*survivor)));
    }
    for (int fd : attempts)
        ::close(fd);
    attempts.clear();
    verifyStillServes(*first);
    QCOMPARE(connectedCount(), 1);
    QVERIFY(m_fixture->messages.shown.isEmpty());
    if (!acceptFirst) {
        // Back to where the storm began: no client, listening.
        first.reset();
        m_fixture->click("Command3");
        m_fixture->click("Command3");
        QCOMPARE(m_fixture->button("Command3")->text(), QStringLiteral("关闭监听"));
    }
    // Every refused or dropped attempt has let go of its descriptor on the window's side.
    QTRY_VERIFY2(openDescriptors().size() == descriptorsBefore.size(),
                 qPrintable(openDescriptors().join(QLatin1Char('\n'))));
}

void TestFaultsTcp::clientThatDoesNotRead_data()
{
    QTest::addColumn<int>("sends");
    QTest::newRow("one 1 MiB send box") << 1;
    QTest::newRow("sixteen of them") << 16;
}

void TestFaultsTcp::clientThatDoesNotRead()
{
    QFETCH(int, sends);
    const int client = connectLoopback(m_port); // reads only when told to, below
    QVERIFY(client >= 0);
    QTRY_COMPARE(connectedCount(), 1);
    const QString text = literal(u"回复 line\r\nx\0y\rz ").repeated(int(kMiB / 16));
    m_fixture->textBox("Text6")->setText(text);

    for (int i = 0; i < sends; ++i)
        m_fixture->click("Command6");
    LatencyProbe probe;
    probe.start();
    const auto cpu = cpuWhileObserving();
    probe.stop();
    QVERIFY2(probe.worst() < std::chrono::milliseconds(100),
             qPrintable(QString::number(probe.worst().count())));
    QVERIFY2(cpu < kIdleCpuBound, qPrintable(QString::number(cpu.count())));
    QVERIFY(m_fixture->messages.shown.isEmpty());

    // Once it reads, every byte of every send arrives, in order.
    const QByteArray one = QStringEncoder("GBK").encode(text);
    const QByteArray wire = readFromFd(client, one.size() * sends, 60000);
    ::close(client);
    QCOMPARE(wire.size(), one.size() * sends);
    QVERIFY(wire == one.repeated(sends));
}

QTEST_MAIN(TestFaultsTcp)
#include "tst_faults_tcp.moc"
