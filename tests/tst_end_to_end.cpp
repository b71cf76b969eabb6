#include "support/console_fixture.h"
#include "textbox/text_box.h"

#include <QProcess>

// The whole console against the module simulator, run as its own process on a pseudo-terminal: every
// step is a button a user would press, checked by what the window then shows.

namespace {

// The port number the simulator's device is listed under.
constexpr int kModuleCom = 48;
// Joining keeps the module busy for a while; the wait has plenty of room on a busy machine.
constexpr int kAnswerTimeoutMs = 10000;
const QString kConnected = QStringLiteral("14-12-01 07:56:49\n新客户端接入\n");

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void sessionFromPortToTcpLinkAndBack();
};

void TestEndToEnd::sessionFromPortToTcpLinkAndBack()
{
    QProcess simulator;
    simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    simulator.start(QStringLiteral(ESP8266_SIM_PATH), QStringList());
    // The first line the simulator prints is the device to open.
    QTRY_VERIFY_WITH_TIMEOUT(simulator.canReadLine(), kAnswerTimeoutMs);
    ConsoleFixture f;
    f.devices.insert(kModuleCom, QString::fromLocal8Bit(simulator.readLine().trimmed()));
    f.pause.reallyWait = true;
    f.start();
    f.openPort(kModuleCom);

    // Presses a button, answering its prompt if given, and waits for the module's whole answer to show
    // after what the receive box held before.
    const auto expect = [&f](const char *button, const QString &answer, const QString &typed = {}) {
        if (QTest::currentTestFailed())
            return; // one failed step is enough; the rest would only wait out their time
        if (!typed.isEmpty())
            f.prompts.answers.push_back(ScriptedInputBox::type(typed));
        const qsizetype mark = f.textBox("Text3")->toPlainText().size();
        f.click(button);
        QTRY_COMPARE_WITH_TIMEOUT(f.textBox("Text3")->toPlainText().mid(mark), answer, kAnswerTimeoutMs);
    };
    const auto tcpLog = [&f] { return f.textBox("Text5")->toPlainText(); };

    expect("Command8", QStringLiteral("AT\n\nOK\n"));
    expect("Command13", QStringLiteral("AT+CWJAP=\"SSID\",\"yourpass\"\nWIFI CONNECTED\nWIFI GOT IP\n\nOK\n"),
           QStringLiteral("\"SSID\",\"yourpass\""));

    // The PC's server, and the module connecting to it.
    const quint16 port = f.startServer();
    const auto connectToServer = [&] {
        expect("Command16", QStringLiteral("AT+CIPSTART=\"TCP\",\"127.0.0.1\",%1\nCONNECT\n\nOK\n").arg(port),
               QStringLiteral("\"127.0.0.1\",%1").arg(port));
        QTRY_VERIFY_WITH_TIMEOUT(tcpLog().endsWith(kConnected), kAnswerTimeoutMs);
    };
    connectToServer();

    // Module to PC: 19 bytes on the line, six of the characters taking two each.
    expect("Command17", QStringLiteral("AT+CIPSEND=19\n\nOK\n> \nRecv 19 bytes\n\nSEND OK\n"),
           QStringLiteral("你好，模块！ESP8266"));
    QTRY_COMPARE_WITH_TIMEOUT(
        tcpLog(), kConnected + QStringLiteral("14-12-01 07:56:49\n你好，模块！ESP8266\n"), kAnswerTimeoutMs);

    // PC to module: arrives as +IPD with the byte count, and no line end after it.
    f.textBox("Text6")->setText(QStringLiteral("收到：OK"));
    expect("Command6", QStringLiteral("\n+IPD,8:收到：OK"));

    // The module closes the link; the server logs it and takes the next connection.
    expect("Command20", QStringLiteral("AT+CIPCLOSE\nCLOSED\n\nOK\n"));
    QTRY_VERIFY_WITH_TIMEOUT(tcpLog().endsWith(QStringLiteral("\n客户端断开\n")), kAnswerTimeoutMs);
    connectToServer();
    QCOMPARE(tcpLog().count(QStringLiteral("新客户端接入")), 2);
    QVERIFY(f.messages.shown.isEmpty());
    QVERIFY(f.prompts.answers.empty());

    simulator.terminate();
    QVERIFY(simulator.waitForFinished(kAnswerTimeoutMs));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
