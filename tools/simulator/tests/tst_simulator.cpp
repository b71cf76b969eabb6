#include "simulator.h"
#include "unique_fd.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <memory>
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

    // Writes, then runs the event loop until at least `count` bytes came in or the time is up.
    QByteArray exchange(const QByteArray &sent, qsizetype count)
    {
        if (::write(m_fd.get(), sent.constData(), size_t(sent.size())) != sent.size())
            return QByteArrayLiteral("<write failed>");
        return read(count);
    }

    QByteArray read(qsizetype count)
    {
        const QDeadlineTimer deadline(kAnswerTimeout);
        std::array<char, 4096> chunk{};
        for (ssize_t n = 0; m_buffer.size() < count && !deadline.hasExpired(); QTest::qWait(2)) {
            while ((n = ::read(m_fd.get(), chunk.data(), chunk.size())) > 0)
                m_buffer.append(chunk.data(), n);
        }
        return std::exchange(m_buffer, {});
    }

private:
    UniqueFd m_fd;
    QByteArray m_buffer;
};

// An in-process simulator and a console attached to its device.
struct Bench : PtyClient
{
    explicit Bench(bool echo)
        : simulator([echo] {
              SimulatorOptions options;
              options.echo = echo;
              return options;
          }())
    {}
    bool start()
    {
        QString error;
        return simulator.start(&error) && open(simulator.devicePath());
    }
    Simulator simulator;
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
    void conversation_data();
    void conversation();
    void tcpRoundTrip();
    void executableCleansUpOnSigterm();
};

void TestSimulator::conversation_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<QByteArrayList>("sent");
    QTest::addColumn<QByteArrayList>("expected");

    addConversation("echo lone CR", true, {{"AT\r", "AT\r\r\n" + kOk}});
    addConversation("echo split line", true,
                    {{"A", "A"}, {"T\r", "T\r\r\n" + kOk}, {"\nAT\r\n", "AT\r\r\n" + kOk}});
    addConversation("reset restores echo", true,
                    {{"ATE0\r\n", "ATE0\r\r\n" + kOk},
                     {"AT+RST\r\n", kOk + "\r\nready\r\n"},
                     {"AT\r\n", "AT\r\r\n" + kOk}});

    addConversation("unknown command", false, {{"AT+FOO\r\n", kError}});
    addConversation("empty line ignored", false, {{"\r\nAT\r\n", kOk}});
    addConversation("mode set and query", false,
                    {{"AT+CWMODE=3\r\n", kOk}, {"AT+CWMODE?\r\n", "+CWMODE:3\r\n" + kOk}});
    addConversation("mode not a number", false, {{"AT+CWMODE=1.4\r\n", kError}});

    addConversation(
        "join", false,
        {{kJoin, kJoined}, {"AT+CWJAP?\r\n", "+CWJAP:\"SSID\",\"02:1a:7c:30:52:61\",6,-48\r\n" + kOk}});
    addConversation("join wrong key", false,
                    {{"AT+CWJAP=\"SSID\",\"nope\"\r\n", "+CWJAP:2\r\n\r\nFAIL\r\n"}});
    addConversation("join in softAP mode", false, {{"AT+CWMODE=2\r\n", kOk}, {kJoin, kError}});
    addConversation("busy while joining", false,
                    {{kJoin + "AT\r\n", "\r\nbusy p...\r\n" + kJoined}, {"AT\r\n", kOk}});
    addConversation("quit joined", false, {{kJoin, kJoined}, {"AT+CWQAP\r\n", kOk + "WIFI DISCONNECT\r\n"}});
    addConversation(
        "addresses softAP", false,
        {{"AT+CWMODE=2\r\n", kOk},
         {"AT+CIFSR\r\n", "+CIFSR:APIP,\"192.168.4.1\"\r\n+CIFSR:APMAC,\"5e:cf:7f:a1:b2:c4\"\r\n" + kOk}});

    addConversation("status joined", false, {{kJoin, kJoined}, {"AT+CIPSTATUS\r\n", "STATUS:2\r\n" + kOk}});
    addConversation("reset forgets join and mode", false,
                    {{"AT+CWMODE=3\r\n", kOk},
                     {kJoin, kJoined},
                     {"AT+RST\r\nAT\r\n", kOk + "\r\nbusy p...\r\n\r\nready\r\n"},
                     {"AT+CIPSTATUS\r\n", "STATUS:5\r\n" + kOk},
                     {"AT+CWMODE?\r\n", "+CWMODE:1\r\n" + kOk}});
    addConversation("start without AP", false, {{"AT+CIPSTART=\"TCP\",\"127.0.0.1\",80\r\n", kError}});
    addConversation("send without link", false, {{"AT+CIPSEND=4\r\n", "link is not valid\r\n" + kError}});
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

    // However TCP happens to chunk it, every +IPD carries at most one segment and nothing is lost.
    QByteArray sent(5000, '\0');
    for (qsizetype index = 0; index < sent.size(); ++index)
        sent[index] = char(index % 251);
    peer->write(sent);
    QByteArray received;
    QByteArray stream;
    while (received.size() < sent.size()) {
        const QByteArray more = bench.read(1);
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
    peer->disconnectFromHost();
    QCOMPARE(bench.read(8), QByteArray("CLOSED\r\n"));
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
        QCOMPARE(client.exchange("AT\r\n", 11), "AT\r\r\n" + kOk);
    }

    QCOMPARE(::kill(pid_t(process.processId()), SIGTERM), 0);
    QVERIFY(process.waitForFinished(kProcessTimeoutMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
