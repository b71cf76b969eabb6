#include "at_command.h"
#include "simulator.h"
#include "unique_fd.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <utility>

namespace {

constexpr std::chrono::milliseconds kAnswerTimeout{5000};
constexpr int kProcessTimeoutMs = 5000;

const QByteArray kOk = QByteArrayLiteral("\r\nOK\r\n");
const QByteArray kError = QByteArrayLiteral("\r\nERROR\r\n");
const QByteArray kJoin = QByteArrayLiteral("AT+CWJAP=\"SSID\",\"yourpass\"\r\n");
const QByteArray kJoined = QByteArrayLiteral("WIFI CONNECTED\r\nWIFI GOT IP\r\n\r\nOK\r\n");
const QByteArray kConnected = QByteArrayLiteral("CONNECT\r\n\r\nOK\r\n");

QByteArray startCommand(quint16 port)
{
    return "AT+CIPSTART=\"TCP\",\"127.0.0.1\"," + QByteArray::number(port) + "\r\n";
}

// The console's end of the pseudo-terminal, opened by path as any terminal program would.
class PtyClient
{
public:
    bool open(const QString &path)
    {
        m_fd.reset(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK));
        return m_fd.isValid();
    }

    bool write(const QByteArray &bytes)
    {
        return ::write(m_fd.get(), bytes.constData(), size_t(bytes.size())) == bytes.size();
    }

    bool setLineRate(speed_t speed)
    {
        termios settings{};
        if (::tcgetattr(m_fd.get(), &settings) != 0)
            return false;
        ::cfsetispeed(&settings, speed);
        ::cfsetospeed(&settings, speed);
        return ::tcsetattr(m_fd.get(), TCSANOW, &settings) == 0;
    }

    // Runs the event loop until at least `count` bytes came in or the timeout passed; returns all of them.
    QByteArray read(qsizetype count)
    {
        const QDeadlineTimer deadline(kAnswerTimeout);
        drain();
        while (m_buffer.size() < count && !deadline.hasExpired()) {
            QEventLoop loop;
            QSocketNotifier notifier(m_fd.get(), QSocketNotifier::Read);
            QObject::connect(&notifier, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
            QTimer::singleShot(int(deadline.remainingTime()), &loop, &QEventLoop::quit);
            loop.exec();
            drain();
        }
        return std::exchange(m_buffer, {});
    }

private:
    void drain()
    {
        std::array<char, 4096> chunk{};
        ssize_t count = 0;
        while ((count = ::read(m_fd.get(), chunk.data(), chunk.size())) > 0)
            m_buffer.append(chunk.data(), count);
    }

    UniqueFd m_fd;
    QByteArray m_buffer;
};

SimulatorOptions optionsWithEcho(bool echo)
{
    SimulatorOptions options;
    options.echo = echo;
    return options;
}

// An in-process simulator and a console attached to its device.
struct Bench
{
    explicit Bench(bool echo) : simulator(optionsWithEcho(echo)) {}

    bool start()
    {
        QString error;
        return simulator.start(&error) && client.open(simulator.devicePath());
    }

    QByteArray exchange(const QByteArray &sent, qsizetype expectedSize)
    {
        return client.write(sent) ? client.read(expectedSize) : QByteArrayLiteral("<write failed>");
    }

    Simulator simulator;
    PtyClient client;
};

using Steps = std::initializer_list<std::pair<QByteArray, QByteArray>>;

void addConversation(const char *name, bool echo, Steps steps)
{
    QByteArrayList sent;
    QByteArrayList expected;
    for (const auto &[line, answer] : steps) {
        sent << line;
        expected << answer;
    }
    QTest::newRow(name) << echo << sent << expected;
}

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void parseCommand_data();
    void parseCommand();
    void conversation_data();
    void conversation();
    void tcpRoundTrip();
    void refusedConnection();
    void largeIncomingDataIsSegmented();
    void wrongLineRate();
    void consoleCanReopen();
    void executableCleansUpOnSigterm();
    void executableKeepsForeignFile();
};

void TestSimulator::parseCommand_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArrayList>("arguments");

    const int execute = int(AtCommand::Kind::Execute);
    const int set = int(AtCommand::Kind::Set);
    QTest::newRow("bare") << QByteArray("AT") << true << QByteArray() << execute << QByteArrayList();
    QTest::newRow("echo") << QByteArray("ATE0") << true << QByteArray("E0") << execute << QByteArrayList();
    QTest::newRow("query") << QByteArray("AT+CWMODE?") << true << QByteArray("+CWMODE")
                           << int(AtCommand::Kind::Query) << QByteArrayList();
    QTest::newRow("test") << QByteArray("AT+CWMODE=?") << true << QByteArray("+CWMODE")
                          << int(AtCommand::Kind::Test) << QByteArrayList();
    QTest::newRow("mixed") << QByteArray("AT+CIPSTART=\"TCP\",\"10.0.0.1\",8266") << true
                           << QByteArray("+CIPSTART") << set << QByteArrayList{"TCP", "10.0.0.1", "8266"};
    QTest::newRow("escaped quote and comma")
        << QByteArray(R"(AT+CWJAP="a\"b\,c","k,ey")") << true << QByteArray("+CWJAP") << set
        << QByteArrayList{"a\"b,c", "k,ey"};
    QTest::newRow("GBK bytes kept") << QByteArray("AT+CWJAP=\"\xc4\xe3\",\"\"") << true
                                    << QByteArray("+CWJAP") << set << QByteArrayList{"\xc4\xe3", ""};
    QTest::newRow("unterminated string")
        << QByteArray("AT+CWJAP=\"SSID,x") << false << QByteArray() << 0 << QByteArrayList();
    QTest::newRow("lower case") << QByteArray("at") << false << QByteArray() << 0 << QByteArrayList();
    QTest::newRow("text after query")
        << QByteArray("AT+CWMODE?1") << true << QByteArray("+CWMODE?1") << execute << QByteArrayList();
}

void TestSimulator::parseCommand()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, valid);
    QFETCH(QByteArray, name);
    QFETCH(int, kind);
    QFETCH(QByteArrayList, arguments);

    const std::optional<AtCommand> command = AtCommand::parse(line);
    QCOMPARE(command.has_value(), valid);
    if (!valid)
        return;
    QCOMPARE(command->name(), name);
    QCOMPARE(int(command->kind()), kind);
    QCOMPARE(command->arguments(), arguments);
}

void TestSimulator::conversation_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<QByteArrayList>("sent");
    QTest::addColumn<QByteArrayList>("expected");

    addConversation("echo CR LF", true, {{"AT\r\n", "AT\r\r\n" + kOk}});
    addConversation("echo lone CR", true, {{"AT\r", "AT\r\r\n" + kOk}});
    addConversation("echo lone LF", true, {{"AT\n", "AT\r\n" + kOk}});
    addConversation("echo split line", true,
                    {{"A", "A"}, {"T\r", "T\r\r\n" + kOk}, {"\nAT\r\n", "AT\r\r\n" + kOk}});
    addConversation(
        "echo switched", true,
        {{"ATE0\r\n", "ATE0\r\r\n" + kOk}, {"AT\r\n", kOk}, {"ATE1\r\n", kOk}, {"AT\r\n", "AT\r\r\n" + kOk}});
    addConversation("reset restores echo", true,
                    {{"ATE0\r\n", "ATE0\r\r\n" + kOk},
                     {"AT+RST\r\n", kOk + "\r\nready\r\n"},
                     {"AT\r\n", "AT\r\r\n" + kOk}});

    addConversation("unknown command", false, {{"AT+FOO\r\n", kError}});
    addConversation("not AT", false, {{"hello\r\n", kError}});
    addConversation("empty line ignored", false, {{"\r\nAT\r\n", kOk}});
    const QByteArray version = "AT version:1.3.0.0(Jul 14 2016 18:54:01)\r\nSDK version:2.0.0(656edbf)\r\n"
                               "compile time:Oct 29 2016 22:56:21\r\n";
    addConversation("version", false, {{"AT+GMR\r\n", version + kOk}});
    addConversation("mode set and query", false,
                    {{"AT+CWMODE=3\r\n", kOk}, {"AT+CWMODE?\r\n", "+CWMODE:3\r\n" + kOk}});
    addConversation("mode 0", false,
                    {{"AT+CWMODE=0\r\n", kError}, {"AT+CWMODE?\r\n", "+CWMODE:1\r\n" + kOk}});
    addConversation("mode 4", false, {{"AT+CWMODE=4\r\n", kError}});
    addConversation("mode not a number", false, {{"AT+CWMODE=1.4\r\n", kError}});

    addConversation(
        "join", false,
        {{kJoin, kJoined}, {"AT+CWJAP?\r\n", "+CWJAP:\"SSID\",\"02:1a:7c:30:52:61\",6,-48\r\n" + kOk}});
    addConversation("join wrong key", false,
                    {{"AT+CWJAP=\"SSID\",\"nope\"\r\n", "+CWJAP:2\r\n\r\nFAIL\r\n"}});
    addConversation("join unknown SSID", false,
                    {{"AT+CWJAP=\"Nowhere\",\"x\"\r\n", "+CWJAP:3\r\n\r\nFAIL\r\n"}});
    addConversation("join in softAP mode", false, {{"AT+CWMODE=2\r\n", kOk}, {kJoin, kError}});
    addConversation("busy while joining", false,
                    {{kJoin + "AT\r\n", "\r\nbusy p...\r\n" + kJoined}, {"AT\r\n", kOk}});
    addConversation("quit joined", false, {{kJoin, kJoined}, {"AT+CWQAP\r\n", kOk + "WIFI DISCONNECT\r\n"}});
    addConversation("quit not joined", false, {{"AT+CWQAP\r\n", kOk}});
    const QByteArray scan = "+CWLAP:(3,\"SSID\",-48,\"02:1a:7c:30:52:61\",6,-3,0)\r\n"
                            "+CWLAP:(4,\"HomeNet-5\",-67,\"06:3e:11:9d:2b:17\",11,12,0)\r\n"
                            "+CWLAP:(0,\"Guest Cafe\",-81,\"0a:71:c4:02:6e:03\",1,0,0)\r\n";
    addConversation("list", false, {{"AT+CWLAP\r\n", scan + kOk}});

    const QByteArray stationMac = "+CIFSR:STAMAC,\"5e:cf:7f:a1:b2:c3\"\r\n";
    const QByteArray softAp = "+CIFSR:APIP,\"192.168.4.1\"\r\n+CIFSR:APMAC,\"5e:cf:7f:a1:b2:c4\"\r\n";
    addConversation("addresses station", false,
                    {{"AT+CIFSR\r\n", "+CIFSR:STAIP,\"0.0.0.0\"\r\n" + stationMac + kOk}});
    addConversation(
        "addresses joined", false,
        {{kJoin, kJoined}, {"AT+CIFSR\r\n", "+CIFSR:STAIP,\"192.168.1.105\"\r\n" + stationMac + kOk}});
    addConversation("addresses softAP", false, {{"AT+CWMODE=2\r\n", kOk}, {"AT+CIFSR\r\n", softAp + kOk}});
    addConversation("addresses both", false,
                    {{"AT+CWMODE=3\r\n", kOk},
                     {"AT+CIFSR\r\n", softAp + "+CIFSR:STAIP,\"0.0.0.0\"\r\n" + stationMac + kOk}});

    addConversation("status not joined", false, {{"AT+CIPSTATUS\r\n", "STATUS:5\r\n" + kOk}});
    addConversation("status joined", false, {{kJoin, kJoined}, {"AT+CIPSTATUS\r\n", "STATUS:2\r\n" + kOk}});
    addConversation("reset forgets join and mode", false,
                    {{"AT+CWMODE=3\r\n", kOk},
                     {kJoin, kJoined},
                     {"AT+RST\r\nAT\r\n", kOk + "\r\nbusy p...\r\n\r\nready\r\n"},
                     {"AT+CIPSTATUS\r\n", "STATUS:5\r\n" + kOk},
                     {"AT+CWMODE?\r\n", "+CWMODE:1\r\n" + kOk}});
    addConversation("start without AP", false, {{"AT+CIPSTART=\"TCP\",\"127.0.0.1\",80\r\n", kError}});
    addConversation("send without link", false, {{"AT+CIPSEND=4\r\n", "link is not valid\r\n" + kError}});
    addConversation("close without link", false, {{"AT+CIPCLOSE\r\n", kError}});
    addConversation("server off", false, {{"AT+CIPSERVER=0\r\n", kError}});
    addConversation("transfer mode", false, {{"AT+CIPMODE?\r\n", "+CIPMODE:0\r\n" + kOk}});
}

void TestSimulator::conversation()
{
    QFETCH(bool, echo);
    QFETCH(QByteArrayList, sent);
    QFETCH(QByteArrayList, expected);

    Bench bench(echo);
    QVERIFY(bench.start());
    for (qsizetype step = 0; step < sent.size(); ++step)
        QCOMPARE(bench.exchange(sent.at(step), expected.at(step).size()), expected.at(step));
}

void TestSimulator::tcpRoundTrip()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    const QByteArray start = startCommand(server.serverPort());
    Bench bench(false);
    QVERIFY(bench.start());

    QCOMPARE(bench.exchange(kJoin, kJoined.size()), kJoined);
    QCOMPARE(bench.exchange(start, kConnected.size()), kConnected);
    QTRY_VERIFY(server.hasPendingConnections());
    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());

    const QByteArray already = "ALREADY CONNECTED\r\n" + kError;
    QCOMPARE(bench.exchange(start, already.size()), already);
    const QByteArray status = "STATUS:3\r\n+CIPSTATUS:0,\"TCP\",\"127.0.0.1\"," +
                              QByteArray::number(server.serverPort()) + ',' +
                              QByteArray::number(peer->peerPort()) + ",0\r\n" + kOk;
    QCOMPARE(bench.exchange("AT+CIPSTATUS\r\n", status.size()), status);
    const QByteArray tooLong = "too long\r\n" + kError;
    QCOMPARE(bench.exchange("AT+CIPSEND=2049\r\n", tooLong.size()), tooLong);

    // Payload bytes are data, never commands: a CR LF, an "AT" and a two-byte GBK character.
    const QByteArray payload = "AT\r\n\xc4\xe3";
    const QByteArray prompt = kOk + "> ";
    const QByteArray sendOk = "\r\nRecv 6 bytes\r\n\r\nSEND OK\r\n";
    QCOMPARE(bench.exchange("AT+CIPSEND=6\r\n", prompt.size()), prompt);
    QCOMPARE(bench.exchange(payload, sendOk.size()), sendOk);
    QTRY_COMPARE(peer->bytesAvailable(), payload.size());
    QCOMPARE(peer->readAll(), payload);

    // Command and payload in one write: the LF after the command's CR is not payload, and with echo on
    // the command is echoed but the payload is not.
    QCOMPARE(bench.exchange("ATE1\r\n", kOk.size()), kOk);
    const QByteArray combined = "AT+CIPSEND=4\r\r\n" + prompt + "\r\nRecv 4 bytes\r\n\r\nSEND OK\r\n";
    QCOMPARE(bench.exchange("AT+CIPSEND=4\r\nab\r\n", combined.size()), combined);
    QTRY_COMPARE(peer->bytesAvailable(), 4);
    QCOMPARE(peer->readAll(), QByteArray("ab\r\n"));

    QCOMPARE(bench.exchange("ATE0\r\n", 13), "ATE0\r\r\n" + kOk);

    const QByteArray incoming = "hi\r\n\xc4\xe3";
    peer->write(incoming);
    QCOMPARE(bench.client.read(15), "\r\n+IPD,6:" + incoming);
    peer->disconnectFromHost();
    QCOMPARE(bench.client.read(8), QByteArray("CLOSED\r\n"));
    QCOMPARE(bench.exchange("AT+CIPSTATUS\r\n", 16), "STATUS:4\r\n" + kOk);
    QCOMPARE(bench.exchange("AT+CIPCLOSE\r\n", kError.size()), kError);

    QCOMPARE(bench.exchange(start, kConnected.size()), kConnected);
    QTRY_VERIFY(server.hasPendingConnections());
    peer.reset(server.nextPendingConnection());
    const QByteArray closed = "CLOSED\r\n" + kOk;
    QCOMPARE(bench.exchange("AT+CIPCLOSE\r\n", closed.size()), closed);
    QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
}

void TestSimulator::refusedConnection()
{
    quint16 port = 0;
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        port = server.serverPort();
    }
    Bench bench(false);
    QVERIFY(bench.start());
    QCOMPARE(bench.exchange(kJoin, kJoined.size()), kJoined);
    const QByteArray refused = "CLOSED\r\n" + kError;
    QCOMPARE(bench.exchange(startCommand(port), refused.size()), refused);
    QCOMPARE(bench.exchange("AT+CIPSTATUS\r\n", 16), "STATUS:2\r\n" + kOk);
}

void TestSimulator::largeIncomingDataIsSegmented()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    Bench bench(false);
    QVERIFY(bench.start());
    QCOMPARE(bench.exchange(kJoin, kJoined.size()), kJoined);
    QCOMPARE(bench.exchange(startCommand(server.serverPort()), kConnected.size()), kConnected);
    QTRY_VERIFY(server.hasPendingConnections());
    const std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());

    // However TCP happens to chunk it, every +IPD carries at most one segment and nothing is lost.
    QByteArray sent(5000, '\0');
    for (qsizetype index = 0; index < sent.size(); ++index)
        sent[index] = char(index % 251);
    peer->write(sent);
    QByteArray received;
    QByteArray stream;
    while (received.size() < sent.size()) {
        const QByteArray more = bench.client.read(1);
        QVERIFY2(!more.isEmpty(), "timed out waiting for +IPD");
        stream += more;
        while (stream.startsWith("\r\n+IPD,") && stream.contains(':')) {
            const qsizetype colon = stream.indexOf(':');
            const int length = stream.mid(7, colon - 7).toInt();
            QVERIFY(length > 0 && length <= 1460);
            if (stream.size() < colon + 1 + length)
                break;
            received += stream.mid(colon + 1, length);
            stream.remove(0, colon + 1 + length);
        }
    }
    QCOMPARE(received, sent);
    QVERIFY(stream.isEmpty());
}

void TestSimulator::wrongLineRate()
{
    Bench bench(true);
    QVERIFY(bench.start());
    QVERIFY(bench.client.setLineRate(B9600));
    const QByteArray noise = bench.exchange("AT\r\n", 1);
    QVERIFY(!noise.isEmpty());
    QVERIFY(!noise.contains("AT"));
    QVERIFY(!noise.contains("OK"));

    QVERIFY(bench.client.setLineRate(B115200));
    QCOMPARE(bench.exchange("AT\r\n", 11), "AT\r\r\n" + kOk);
}

void TestSimulator::consoleCanReopen()
{
    Bench bench(false);
    QVERIFY(bench.start());
    QCOMPARE(bench.exchange("AT\r\n", kOk.size()), kOk);
    bench.client = PtyClient();
    for (int round = 0; round < 3; ++round) {
        PtyClient again;
        QVERIFY(again.open(bench.simulator.devicePath()));
        QVERIFY(again.write("AT+CWMODE?\r\n"));
        QCOMPARE(again.read(17), "+CWMODE:1\r\n" + kOk);
    }
}

void TestSimulator::executableCleansUpOnSigterm()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("ttyUSB31"));
    QProcess process;
    process.start(QStringLiteral(ESP8266_SIM_EXECUTABLE), {QStringLiteral("--link"), link});
    while (!process.canReadLine() && process.waitForReadyRead(kProcessTimeoutMs)) {
    }
    const QString devicePath = QString::fromLocal8Bit(process.readLine().trimmed());
    QVERIFY(devicePath.startsWith(QStringLiteral("/dev/")));
    QCOMPARE(QFileInfo(link).symLinkTarget(), devicePath);

    {
        PtyClient client;
        QVERIFY(client.open(link));
        QVERIFY(client.write("AT\r\n"));
        QCOMPARE(client.read(11), "AT\r\r\n" + kOk);
    }

    QCOMPARE(::kill(pid_t(process.processId()), SIGTERM), 0);
    QVERIFY(process.waitForFinished(kProcessTimeoutMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestSimulator::executableKeepsForeignFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("not-a-link"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep");
    }
    QProcess process;
    process.start(QStringLiteral(ESP8266_SIM_EXECUTABLE), {QStringLiteral("--link"), path});
    QVERIFY(process.waitForFinished(kProcessTimeoutMs));
    QCOMPARE(process.exitCode(), 1);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("keep"));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
