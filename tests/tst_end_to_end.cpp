#include "support/console_fixture.h"
#include "textbox/text_box.h"

#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>

// The whole console against the module simulator, run as its own process on a pseudo-terminal: every
// step is a button a user would press, checked by what the window then shows.

namespace {

// The simulator shows up as COM48, as it does with --link /dev/ttyUSB31.
constexpr int kModuleCom = 48;
// Joining and scanning keep the module busy for a while; the wait has plenty of room on a busy machine.
constexpr int kAnswerTimeoutMs = 10000;
const QString kConnected = QStringLiteral("14-12-01 07:56:49\n新客户端接入\n");

QString startAnswer(quint16 port)
{
    return QStringLiteral("\"127.0.0.1\",%1").arg(port);
}

QString startEcho(quint16 port)
{
    return QStringLiteral("AT+CIPSTART=\"TCP\",\"127.0.0.1\",%1\n\n").arg(port);
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sessionFromPortToTcpLinkAndBack();

private:
    // Clicks a button and remembers where the receive box stood, so the answer can be told apart.
    void press(const char *button);
    // Presses a button and waits for the module's whole answer to show after what was there before.
    void expect(const char *button, const QString &answer)
    {
        press(button);
        QTRY_COMPARE_WITH_TIMEOUT(sinceLastPress(), answer, kAnswerTimeoutMs);
    }
    void answerWith(const QString &text)
    {
        m_fixture->prompts.answers.push_back(ScriptedInputBox::type(text));
    }
    QString received() const { return m_fixture->textBox("Text3")->toPlainText(); }
    QString sinceLastPress() const { return received().mid(m_mark); }
    QString tcpLog() const { return m_fixture->textBox("Text5")->toPlainText(); }

    std::unique_ptr<QProcess> m_simulator;
    std::unique_ptr<ConsoleFixture> m_fixture;
    qsizetype m_mark = 0;
};

void TestEndToEnd::init()
{
    m_simulator = std::make_unique<QProcess>();
    m_simulator->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_simulator->start(QStringLiteral(ESP8266_SIM_PATH), QStringList());
    QVERIFY2(m_simulator->waitForStarted(), qPrintable(m_simulator->errorString()));
    // The first line the simulator prints is the device to open.
    QTRY_VERIFY_WITH_TIMEOUT(m_simulator->canReadLine(), kAnswerTimeoutMs);
    const QString device = QString::fromLocal8Bit(m_simulator->readLine().trimmed());
    QVERIFY(device.startsWith(QStringLiteral("/dev/")));

    m_fixture = std::make_unique<ConsoleFixture>();
    m_fixture->devices.insert(kModuleCom, device);
    m_fixture->pause.reallyWait = true;
    m_fixture->start();
    m_mark = 0;
}

void TestEndToEnd::cleanup()
{
    m_fixture.reset();
    if (m_simulator->state() != QProcess::NotRunning) {
        m_simulator->terminate();
        QVERIFY(m_simulator->waitForFinished(kAnswerTimeoutMs));
        QCOMPARE(m_simulator->exitStatus(), QProcess::NormalExit);
    }
    m_simulator.reset();
}

void TestEndToEnd::press(const char *button)
{
    m_mark = received().size();
    m_fixture->click(button);
}

void TestEndToEnd::sessionFromPortToTcpLinkAndBack()
{
    ConsoleFixture &f = *m_fixture;
    QCOMPARE(f.find<QComboBox>("Combo1")->currentText(), QStringLiteral("COM48"));
    f.openPort(kModuleCom);

    expect("Command8", QStringLiteral("AT\n\n\nOK\n"));

    expect("Command9", QStringLiteral("AT+GMR\n\nAT version:1.3.0.0(Jul 14 2016 18:54:01)\n"
                                      "SDK version:2.0.0(656edbf)\ncompile time:Oct 29 2016 22:56:21\n"
                                      "\nOK\n"));

    f.prompts.answers.push_back(ScriptedInputBox::acceptDefault());
    expect("Command11", QStringLiteral("AT+CWMODE=1\n\n\nOK\n"));

    press("Command12");
    QTRY_VERIFY_WITH_TIMEOUT(sinceLastPress().endsWith(QStringLiteral("\nOK\n")), kAnswerTimeoutMs);
    QCOMPARE(sinceLastPress().count(QStringLiteral("+CWLAP:(")), 3);
    QVERIFY(sinceLastPress().contains(QStringLiteral("+CWLAP:(3,\"SSID\",-48,")));

    f.prompts.answers.push_back(ScriptedInputBox::acceptDefault());
    expect("Command13",
           QStringLiteral("AT+CWJAP=\"SSID\",\"yourpass\"\n\nWIFI CONNECTED\nWIFI GOT IP\n\nOK\n"));

    expect("Command15", QStringLiteral("AT+CIFSR\n\n+CIFSR:STAIP,\"192.168.1.105\"\n"
                                       "+CIFSR:STAMAC,\"5e:cf:7f:a1:b2:c3\"\n\nOK\n"));

    // The PC's server, and the module connecting to it.
    const quint16 port = f.startServer();
    answerWith(startAnswer(port));
    expect("Command16", startEcho(port) + QStringLiteral("CONNECT\n\nOK\n"));
    QTRY_COMPARE_WITH_TIMEOUT(tcpLog(), kConnected, kAnswerTimeoutMs);

    // Module to PC: 19 bytes on the line, six of the characters taking two each.
    answerWith(QStringLiteral("你好，模块！ESP8266"));
    expect("Command17", QStringLiteral("AT+CIPSEND=19\n\n\nOK\n> \nRecv 19 bytes\n\nSEND OK\n"));
    QTRY_COMPARE_WITH_TIMEOUT(
        tcpLog(), kConnected + QStringLiteral("14-12-01 07:56:49\n你好，模块！ESP8266\n"), kAnswerTimeoutMs);

    // PC to module: arrives as +IPD with the byte count, and no line end after it.
    f.textBox("Text6")->setText(QStringLiteral("收到：OK"));
    expect("Command6", QStringLiteral("\n+IPD,8:收到：OK"));

    press("Command18");
    const QRegularExpression status(
        QStringLiteral("^AT\\+CIPSTATUS\n\nSTATUS:3\n\\+CIPSTATUS:0,\"TCP\",\"127.0.0.1\",%1,\\d+,0\n\nOK\n$")
            .arg(port));
    QTRY_VERIFY_WITH_TIMEOUT(status.match(sinceLastPress()).hasMatch(), kAnswerTimeoutMs);

    // The module closes the link; the server logs it and takes the next connection.
    expect("Command20", QStringLiteral("AT+CIPCLOSE\n\nCLOSED\n\nOK\n"));
    QTRY_VERIFY_WITH_TIMEOUT(tcpLog().endsWith(QStringLiteral("\n客户端断开\n")), kAnswerTimeoutMs);
    QCOMPARE(f.button("Command3")->text(), QStringLiteral("关闭监听"));
    answerWith(startAnswer(port));
    expect("Command16", startEcho(port) + QStringLiteral("CONNECT\n\nOK\n"));
    QTRY_VERIFY_WITH_TIMEOUT(tcpLog().endsWith(kConnected), kAnswerTimeoutMs);
    QCOMPARE(tcpLog().count(QStringLiteral("新客户端接入")), 2);

    QVERIFY(f.messages.shown.isEmpty());
    QVERIFY(f.prompts.answers.empty());
}

QTEST_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
