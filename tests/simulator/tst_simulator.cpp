#include "platform/unique_fd.h"
#include "simulator.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <utility>

namespace {

constexpr int kTimeoutMs = 5000;

const QByteArray kOk = QByteArrayLiteral("\r\nOK\r\n");
const QByteArray kError = QByteArrayLiteral("\r\nERROR\r\n");
const QByteArray kJoin = QByteArrayLiteral("AT+CWJAP=\"SSID\",\"yourpass\"\r\n");
const QByteArray kJoined = QByteArrayLiteral("WIFI CONNECTED\r\nWIFI GOT IP\r\n\r\nOK\r\n");

// The console's end of the pseudo-terminal, opened by path as any terminal program would.
class PtyClient
{
public:
    bool open(const QString &path)
    {
        m_fd.reset(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK));
        return m_fd.isValid();
    }

    // Writes, then runs the event loop until at least `count` bytes came in or the time is up.
    QByteArray exchange(const QByteArray &sent, qsizetype count)
    {
        if (::write(m_fd.get(), sent.constData(), size_t(sent.size())) != sent.size())
            return QByteArrayLiteral("<write failed>");
        const QDeadlineTimer deadline(kTimeoutMs);
        std::array<char, 4096> chunk{};
        QByteArray received;
        for (ssize_t n = 0; received.size() < count && !deadline.hasExpired(); QTest::qWait(2)) {
            while ((n = ::read(m_fd.get(), chunk.data(), chunk.size())) > 0)
                received.append(chunk.data(), n);
        }
        return received;
    }

private:
    UniqueFd m_fd;
};

// Lines sent to the module, each with the whole answer it must give.
using Steps = QList<std::pair<QByteArray, QByteArray>>;

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void conversation_data();
    void conversation();
    void executableCleansUpOnSigterm();
};

void TestSimulator::conversation_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<Steps>("steps");
    const auto row = [](const char *name, bool echo, const Steps &steps) {
        QTest::newRow(name) << echo << steps;
    };
    const QByteArray apAddresses =
        "+CIFSR:APIP,\"192.168.4.1\"\r\n+CIFSR:APMAC,\"5e:cf:7f:a1:b2:c4\"\r\n" + kOk;

    // clang-format off
    row("echo of lone CR and split lines, back on after reset", true,
        {{"AT\r", "AT\r\r\n" + kOk}, {"A", "A"}, {"T\r", "T\r\r\n" + kOk}, {"\nATE0\r\n", "ATE0\r\r\n" + kOk},
         {"AT+RST\r\n", kOk + "\r\nready\r\n"}, {"AT\r\n", "AT\r\r\n" + kOk}});
    row("refusals and an empty line", false,
        {{"AT+FOO\r\n", kError}, {"\r\nAT\r\n", kOk}, {"AT+CWMODE=1.4\r\n", kError},
         {"AT+CIPSTART=\"TCP\",\"127.0.0.1\",80\r\n", kError},
         {"AT+CIPSEND=4\r\n", "link is not valid\r\n" + kError}});
    row("join, query, status, quit", false,
        {{kJoin, kJoined}, {"AT+CWJAP?\r\n", "+CWJAP:\"SSID\",\"02:1a:7c:30:52:61\",6,-48\r\n" + kOk},
         {"AT+CIPSTATUS\r\n", "STATUS:2\r\n" + kOk}, {"AT+CWQAP\r\n", kOk + "WIFI DISCONNECT\r\n"}});
    row("softAP mode", false, {{"AT+CWMODE=2\r\n", kOk}, {kJoin, kError}, {"AT+CIFSR\r\n", apAddresses}});
    row("wrong key, then busy while joining", false,
        {{"AT+CWJAP=\"SSID\",\"nope\"\r\n", "+CWJAP:2\r\n\r\nFAIL\r\n"},
         {kJoin + "AT\r\n", "\r\nbusy p...\r\n" + kJoined}, {"AT\r\n", kOk}});
    row("reset forgets join and mode", false,
        {{"AT+CWMODE=3\r\n", kOk}, {"AT+CWMODE?\r\n", "+CWMODE:3\r\n" + kOk}, {kJoin, kJoined},
         {"AT+RST\r\nAT\r\n", kOk + "\r\nbusy p...\r\n\r\nready\r\n"},
         {"AT+CIPSTATUS\r\n", "STATUS:5\r\n" + kOk}, {"AT+CWMODE?\r\n", "+CWMODE:1\r\n" + kOk}});
    // The payload's bytes are data, never commands: a CR LF, an "AT" and a two-byte GBK character.
    row("send over a link", false,
        {{kJoin, kJoined}, {"AT+CIPSTART=\"TCP\",\"127.0.0.1\",PORT\r\n", "CONNECT\r\n\r\nOK\r\n"},
         {"AT+CIPSEND=2049\r\n", "too long\r\n" + kError}, {"AT+CIPSEND=6\r\n", kOk + "> "},
         {"AT\r\n\xc4\xe3", "\r\nRecv 6 bytes\r\n\r\nSEND OK\r\n"}, {"AT\r\n", kOk}});
    // clang-format on
}

void TestSimulator::conversation()
{
    QFETCH(bool, echo);
    QFETCH(Steps, steps);

    // A server for the module to connect to, on the port the lines name as PORT.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    SimulatorOptions options;
    options.echo = echo;
    Simulator simulator(options);
    PtyClient module;
    QString error;
    QVERIFY2(simulator.start(&error), qPrintable(error));
    QVERIFY(module.open(simulator.devicePath()));
    for (const auto &[line, answer] : steps) {
        const QByteArray sent = QByteArray(line).replace("PORT", QByteArray::number(server.serverPort()));
        QCOMPARE(module.exchange(sent, answer.size()), answer);
    }
}

void TestSimulator::executableCleansUpOnSigterm()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("ttyUSB31"));
    QProcess process;
    process.start(QStringLiteral(ESP8266_SIM_EXECUTABLE), {QStringLiteral("--link"), link});
    QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), kTimeoutMs);
    const QString devicePath = QString::fromLocal8Bit(process.readLine().trimmed());
    QVERIFY(devicePath.startsWith(QStringLiteral("/dev/")));
    QCOMPARE(QFileInfo(link).symLinkTarget(), devicePath);

    QCOMPARE(::kill(pid_t(process.processId()), SIGTERM), 0);
    QVERIFY(process.waitForFinished(kTimeoutMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
