#include "support/console_fixture.h"
#include "textbox/text_box.h"

#include <atomic>
#include <thread>

using Answer = ScriptedInputBox::Answer;
Q_DECLARE_METATYPE(Answer)

class TestAtPanel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void fixedCommands_data();
    void fixedCommands();
    void promptedCommands_data();
    void promptedCommands();
    void dataWaitsForThePromptBeforeThePayload();
    void lineIsReadThroughThePause();
    void closedPortIsReported_data();
    void closedPortIsReported();

private:
    std::unique_ptr<ConsoleFixture> m_fixture;
    Pty *m_module = nullptr;
};

void TestAtPanel::init()
{
    m_fixture = std::make_unique<ConsoleFixture>();
    m_module = &m_fixture->addPort(1);
    m_fixture->start();
}

void TestAtPanel::cleanup()
{
    m_fixture.reset();
}

void TestAtPanel::fixedCommands_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("Command8") << "AT";
    QTest::newRow("Command9") << "AT+GMR";
    QTest::newRow("Command10") << "AT+RST";
    QTest::newRow("Command12") << "AT+CWLAP";
    QTest::newRow("Command14") << "AT+CWQAP";
    QTest::newRow("Command15") << "AT+CIFSR";
    QTest::newRow("Command18") << "AT+CIPSTATUS";
    QTest::newRow("Command19") << "AT+CIPSERVER=0";
    QTest::newRow("Command20") << "AT+CIPCLOSE";
    QTest::newRow("Command21") << "AT+CIPMODE?";
}

void TestAtPanel::fixedCommands()
{
    QFETCH(QString, command);
    m_fixture->openPort(1);
    m_fixture->click(QTest::currentDataTag());
    QCOMPARE(m_module->readNow(), command.toLatin1() + "\r\n");
    QCOMPARE(m_fixture->textBox("Text4")->text(), command + "\r\n");
}

void TestAtPanel::promptedCommands_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QByteArray>("wire");

    const auto row = [](const char *tag, const char *button, Answer answer, const QByteArray &wire) {
        QTest::newRow(tag) << QString::fromLatin1(button) << answer << wire;
    };
    const Answer accept = ScriptedInputBox::acceptDefault();
    const Answer cancel = ScriptedInputBox::cancel();
    const auto type = [](const char *text) { return ScriptedInputBox::type(QString::fromUtf8(text)); };

    const QString big = QStringLiteral("\"ssid-数据\",0123456789abcdef ").repeated(40000); // over 1 MiB
    const QByteArray bigWire = QByteArray("\"ssid-\xca\xfd\xbe\xdd\",0123456789abcdef ").repeated(40000);

    row("mode default", "Command11", accept, "AT+CWMODE=1\r\n");
    row("mode sent as typed", "Command11", type(" 2"), "AT+CWMODE= 2\r\n");
    row("mode 2.5 rounds to 2", "Command11", type("2.5"), "AT+CWMODE=2.5\r\n");
    row("mode 3.5 rounds to 4", "Command11", type("3.5"), "");
    row("mode 0", "Command11", type("0"), "");
    row("mode not a number", "Command11", type("station"), "");
    row("join default", "Command13", accept, "AT+CWJAP=\"SSID\",\"yourpass\"\r\n");
    row("join 5 characters", "Command13", type("\"a\",\""), "");
    row("join 6 characters", "Command13", type("\"a\",\"\""), "AT+CWJAP=\"a\",\"\"\r\n");
    row("join over 1 MiB", "Command13", ScriptedInputBox::type(big), "AT+CWJAP=" + bigWire + "\r\n");
    row("tcp default", "Command16", accept, "AT+CIPSTART=\"TCP\",\"192.168.1.100\",8266\r\n");
    row("tcp 8 characters", "Command16", type("\"h\",8266"), "");
    row("tcp 9 characters", "Command16", type("\"hh\",8266"), "AT+CIPSTART=\"TCP\",\"hh\",8266\r\n");
    row("data default", "Command17", accept,
        "AT+CIPSEND=20\r\nTavrin\xb3\xf6\xc6\xb7\xa3\xac\xb1\xd8\xca\xf4\xbe\xab\xc6\xb7");
    row("data with line breaks", "Command17", type("a\r\nb\n"), "AT+CIPSEND=5\r\na\r\nb\n");
    // Half a surrogate pair is no character: it is left out, and the next command is not touched.
    row("data ends in half a surrogate", "Command17", ScriptedInputBox::type(literal(u"x\xd800")),
        "AT+CIPSEND=1\r\nx");
    row("data cancelled", "Command17", cancel, "");
}

void TestAtPanel::promptedCommands()
{
    QFETCH(QString, button);
    QFETCH(Answer, answer);
    QFETCH(QByteArray, wire);
    m_fixture->openPort(1);
    const QString before = m_fixture->textBox("Text4")->text();
    m_fixture->prompts.answers.push_back(answer);
    m_fixture->click(button.toLatin1().constData());
    QCOMPARE(m_fixture->prompts.asked.size(), 1); // one question per click, whatever the answer
    if (wire.isEmpty())
        QCOMPARE(m_fixture->textBox("Text4")->text(), before);
    // The next command goes out untouched after it.
    m_fixture->click("Command8");
    QVERIFY(m_module->read(wire.size() + 4) == wire + "AT\r\n");
    QVERIFY(m_fixture->messages.shown.isEmpty());
}

void TestAtPanel::dataWaitsForThePromptBeforeThePayload()
{
    m_fixture->openPort(1);
    QByteArray onLineDuringPause;
    m_fixture->pause.onPause = [&] { onLineDuringPause = m_module->readNow(); };
    m_fixture->pause.reallyWait = true;
    m_fixture->prompts.answers.push_back(ScriptedInputBox::type(QStringLiteral("数据")));
    m_fixture->click("Command17");
    QCOMPARE(m_fixture->pause.pauses, QList<std::chrono::milliseconds>{std::chrono::milliseconds(1300)});
    QCOMPARE(onLineDuringPause, QByteArray("AT+CIPSEND=4\r\n"));
    QCOMPARE(m_module->readNow(), QByteArray("\xca\xfd\xbe\xdd"));
}

void TestAtPanel::lineIsReadThroughThePause()
{
    // A USB adapter has no flow control: what the console does not read during the pause is lost.
    m_fixture->openPort(1);
    const QByteArray flood = QByteArray("+IPD,4:\xca\xfd\xbe\xdd abc\r\n").repeated(62000); // 1 MiB
    std::atomic<bool> written = false;
    std::thread writer;
    m_fixture->pause.reallyWait = true;
    m_fixture->pause.onPause = [&] {
        writer = std::thread([&] {
            m_module->writeBlocking(flood);
            written = true;
        });
    };
    m_fixture->prompts.answers.push_back(ScriptedInputBox::type(QStringLiteral("x")));
    m_fixture->click("Command17");
    const bool writtenDuringPause = written;
    QVERIFY(QTest::qWaitFor([&] { return written.load(); }, 30000)); // a reader held back catches up now
    writer.join();
    QVERIFY(writtenDuringPause);
    QTRY_COMPARE(m_fixture->textBox("Text3")->toPlainText(),
                 QStringLiteral(u"+IPD,4:数据 abc\n").repeated(62000));
}

void TestAtPanel::closedPortIsReported_data()
{
    // clang-format off
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("left");
    QTest::addColumn<int>("warnings");
    QTest::newRow("fixed") << "Command9" << "AT+GMR\r\n" << 1;
    QTest::newRow("data, before and after the pause") << "Command17" << "Tavrin出品，必属精品" << 2;
    // clang-format on
}

void TestAtPanel::closedPortIsReported()
{
    QFETCH(QString, button);
    QFETCH(QString, left);
    QFETCH(int, warnings);
    m_fixture->prompts.answers.push_back(ScriptedInputBox::acceptDefault());
    m_fixture->click(button.toLatin1().constData());
    QCOMPARE(m_fixture->textBox("Text4")->text(), left);
    QCOMPARE(m_fixture->messages.texts(), QStringList(warnings, QStringLiteral("串口未打开！")));
    QCOMPARE(m_fixture->messages.shown.last().icon, MessageBox::Icon::Warning);
    QCOMPARE(m_module->readNow(), QByteArray());
}

QTEST_MAIN(TestAtPanel)
#include "tst_at_panel.moc"
