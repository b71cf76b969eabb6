#include "serial/serial_port.h"
#include "support/console_fixture.h"
#include "support/fault_probes.h"
#include "tcpserver/socket.h"
#include "textbox/text_box.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpSocket>

using Answer = ScriptedInputBox::Answer;
Q_DECLARE_METATYPE(Answer)

// Whatever arrives on a link or is typed into a field: the window shows it, sends it as the user
// gave it, or answers with its usual message; it never crashes and never sends something else.
class TestHostileInput : public QObject
{
    Q_OBJECT

private slots:
    void tcpOddBytes_data();
    void tcpOddBytes();
    void serialRandomBytes();
    void promptAnswers_data();
    void promptAnswers();
    void portNumberTexts_data();
    void portNumberTexts();
    void baudTexts_data();
    void baudTexts();
};

namespace {
constexpr qsizetype kMiB = 1024 * 1024;
const QString kCannotOpen = QStringLiteral("设置失败，设备发生错误");
const QString kChoosePort = QStringLiteral("请选刷新设备，并选择相应设备！");

// How a text box shows received text: each CR LF, lone CR and lone LF breaks the line once.
QString asShown(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

QString bigAnswer(qsizetype characters)
{
    static const QString piece = QStringLiteral("\"ssid-数据\",0123456789abcdef ");
    return piece.repeated(characters / piece.size() + 1).left(characters);
}
} // namespace

void TestHostileInput::tcpOddBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown"); // the block's entry in the log, as the box shows it
    QTest::newRow("NUL bytes") << QByteArray("\0a\0\0b\0", 6) << literal(u"\0a\0\0b\0");
    QTest::newRow("lone CR") << QByteArray("a\rb") << "a\nb";
    QTest::newRow("lone LF") << QByteArray("a\nb") << "a\nb";
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << "a\n\nb";
    QTest::newRow("ends in CR") << QByteArray("a\r") << "a\n";
    QTest::newRow("terminal controls") << QByteArray("\x1b[2J\x07\x08\x7f!") << "\x1b[2J\x07\x08\x7f!";
    QTest::newRow("lead byte before ASCII") << QByteArray("\x81 x") << QString::fromUtf16(u"\xfffd x");
    QTest::newRow("euro sign of code page 936") << QByteArray("\x80") << QString::fromUtf16(u"\x20ac");
    QTest::newRow("Chinese and ASCII mixed") << QByteArray("\xca\xfd\xbe\xdd=data") << "数据=data";
}

void TestHostileInput::tcpOddBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    ConsoleFixture fixture;
    fixture.start();
    const auto client = connectClient(fixture.startServer());
    QSignalSpy arrived(fixture.find<Socket>("Winsock1"), &Socket::dataArrival);
    QTRY_VERIFY(fixture.find<Socket>("Winsock1")->state() == Socket::kStateConnected);

    client->write(bytes);
    QVERIFY(arrived.wait());
    QTRY_COMPARE(fixture.textBox("Text5")->toPlainText(),
                 QStringLiteral("14-12-01 07:56:49\n新客户端接入\n14-12-01 07:56:49\n") + shown +
                     QLatin1Char('\n'));
    QVERIFY(fixture.messages.shown.isEmpty());
}

void TestHostileInput::serialRandomBytes()
{
    // Every byte value, in reads of every size: the box shows what decoding it all at once shows.
    ConsoleFixture fixture;
    Pty &module = fixture.addPort(3);
    fixture.start();
    fixture.openPort(3);
    QRandomGenerator random(8266);
    QByteArray bytes(kMiB, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    for (qsizetype done = 0; done < bytes.size();) {
        const qsizetype piece = std::min<qsizetype>(random.bounded(1, 4096), bytes.size() - done);
        module.write(bytes.mid(done, piece));
        done += piece;
    }
    const QString expected = asShown(QStringDecoder("GBK").decode(bytes));
    QTRY_COMPARE_WITH_TIMEOUT(fixture.textBox("Text3")->toPlainText().size(), expected.size(), 30000);
    QVERIFY(fixture.textBox("Text3")->toPlainText() == expected);
    QVERIFY(fixture.messages.shown.isEmpty());
    QCOMPARE(fixture.button("Command1")->text(), QStringLiteral("关闭"));
}

void TestHostileInput::promptAnswers_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QByteArray>("wire"); // on the line after the button, and Command8 ("AT") after it

    const auto row = [](const char *tag, const char *button, const QString &answer, const QByteArray &wire) {
        QTest::newRow(tag) << QString::fromLatin1(button) << answer << wire + "AT\r\n";
    };
    const auto gbk = [](const QString &text) { return QByteArray(QStringEncoder("GBK").encode(text)); };
    // A single line of 10 MiB takes the send box seconds to lay out, so only the answer whose bytes
    // are counted gets that much; the others show the same with 1 MiB.
    const QString huge = bigAnswer(10 * kMiB);
    const QString big = bigAnswer(kMiB);

    row("mode: 10 MiB of digits", "Command11", QString(10 * kMiB, QLatin1Char('1')), "");
    row("mode: 10 MiB of text", "Command11", huge, "");
    row("mode: digit and NUL", "Command11", literal(u"2\0"), "");
    row("mode: escape sequence", "Command11", QStringLiteral("\x1b[2"), "");
    row("join: 1 MiB", "Command13", big, "AT+CWJAP=" + gbk(big) + "\r\n");
    row("join: control characters", "Command13", QStringLiteral("\"\x01\x02\",\"\x1b[2J\x7f\""),
        "AT+CWJAP=\"\x01\x02\",\"\x1b[2J\x7f\"\r\n");
    row("tcp: 1 MiB", "Command16", big, "AT+CIPSTART=\"TCP\"," + gbk(big) + "\r\n");
    row("tcp: NUL and backspaces", "Command16", literal(u"\"h\0st\",80\b\b"),
        QByteArray("AT+CIPSTART=\"TCP\",\"h\0st\",80\b\b\r\n", 31));
    row("data: 10 MiB", "Command17", huge,
        "AT+CIPSEND=" + QByteArray::number(gbk(huge).size()) + "\r\n" + gbk(huge));
    row("data: control characters", "Command17", QStringLiteral("\x03\x04\x1a+++"),
        "AT+CIPSEND=6\r\n\x03\x04\x1a+++");
    // Half a surrogate pair is no character: it is left out, and the next command is not touched.
    row("data: ends in half a surrogate pair", "Command17", literal(u"x\xd800"), "AT+CIPSEND=1\r\nx");
}

void TestHostileInput::promptAnswers()
{
    QFETCH(QString, button);
    QFETCH(QString, answer);
    QFETCH(QByteArray, wire);
    ConsoleFixture fixture;
    Pty &module = fixture.addPort(1);
    fixture.start();
    fixture.openPort(1);
    fixture.prompts.answers.push_back(ScriptedInputBox::type(answer));

    fixture.click(button.toLatin1().constData());
    fixture.click("Command8");
    const QByteArray sent = module.read(wire.size(), 60000);
    QCOMPARE(sent.size(), wire.size());
    QVERIFY(sent == wire);
    QVERIFY(fixture.messages.shown.isEmpty());
    QCOMPARE(fixture.button("Command1")->text(), QStringLiteral("关闭"));
}

void TestHostileInput::portNumberTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("opens");       // COM number opened, 0 for none
    QTest::addColumn<QString>("message"); // shown when none opens
    // COM2 and COM4 exist. The number is what is left after every "COM" is taken out, rounded to the
    // nearest whole number (a half to the even one).
    QTest::newRow("COM taken out twice") << "COMCOM2" << 2 << "";
    QTest::newRow("plus sign") << "COM+2" << 2 << "";
    QTest::newRow("blanks around") << "COM 4 " << 4 << "";
    QTest::newRow("2.5 rounds to 2") << "COM2.5" << 2 << "";
    QTest::newRow("3.5 rounds to 4") << "COM3.5" << 4 << "";
    QTest::newRow("leading zeros") << "COM0004" << 4 << "";
    QTest::newRow("negative") << "COM-2" << 0 << kCannotOpen;
    QTest::newRow("minus zero") << "COM-0" << 0 << kCannotOpen;
    QTest::newRow("lowest 16-bit number") << "COM-32768" << 0 << kCannotOpen;
    QTest::newRow("highest 16-bit number, no such device") << "COM32767" << 0 << kCannotOpen;
    QTest::newRow("exponent") << "COM2e0" << 0 << kCannotOpen;
    QTest::newRow("hexadecimal") << "COM0x2" << 0 << kCannotOpen;
    QTest::newRow("decimal comma") << "COM2,0" << 0 << kCannotOpen;
    QTest::newRow("full-width digit") << QString::fromUtf16(u"COM\xff12") << 0 << kCannotOpen;
    QTest::newRow("lower case completes to the listed COM2") << "com2" << 2 << "";
    QTest::newRow("lower case, not listed") << "com9" << 0 << kCannotOpen;
    QTest::newRow("NUL after the number") << literal(u"COM2\0") << 0 << kCannotOpen;
    QTest::newRow("a thousand digits") << "COM" + QString(1000, QLatin1Char('9')) << 0 << kCannotOpen;
    QTest::newRow("COM alone") << "COM" << 0 << kCannotOpen;
    QTest::newRow("typed port that is absent") << "COM9" << 0 << kCannotOpen;
    QTest::newRow("typed port not a number") << "COMx" << 0 << kCannotOpen;
    QTest::newRow("port number beyond 16 bits") << "COM70000" << 0 << kCannotOpen;
    QTest::newRow("too short to be a port") << "C2" << 0 << kChoosePort;
}

void TestHostileInput::portNumberTexts()
{
    QFETCH(QString, text);
    QFETCH(int, opens);
    QFETCH(QString, message);
    ConsoleFixture fixture;
    fixture.addPort(2);
    fixture.addPort(4);
    fixture.start();
    fixture.find<QComboBox>("Combo1")->setCurrentText(text);

    fixture.click("Command1");
    if (opens) {
        QVERIFY(fixture.messages.shown.isEmpty());
        QCOMPARE(fixture.button("Command1")->text(), QStringLiteral("关闭"));
        QCOMPARE(fixture.find<SerialPort>("MSComm1")->commPort(), opens);
        QCOMPARE(fixture.find<SerialPort>("MSComm1")->devicePath(), fixture.devices.value(opens));
    } else {
        QCOMPARE(fixture.messages.texts(), QStringList{message});
        QCOMPARE(fixture.messages.shown.first().icon,
                 message == kChoosePort ? MessageBox::Icon::Warning : MessageBox::Icon::Error);
        fixture.verifyPortClosed();
    }
}

void TestHostileInput::baudTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("outcome"); // "opens", "fails", or "either" where the device decides
    QTest::newRow("exponent") << "1e9"
                              << "fails";
    QTest::newRow("trailing letters") << "115200abc"
                                      << "fails";
    QTest::newRow("plus sign") << "+9600"
                               << "fails";
    QTest::newRow("blank before") << " 9600"
                                  << "fails";
    QTest::newRow("blank after") << "9600 "
                                 << "fails";
    QTest::newRow("empty") << ""
                           << "fails";
    QTest::newRow("full-width digits") << QString::fromUtf16(u"\xff19\xff16\xff10\xff10") << "fails";
    QTest::newRow("whole settings typed") << "9600,N,8,1"
                                          << "fails";
    QTest::newRow("line break") << "9600\n"
                                << "fails";
    QTest::newRow("one past 32 bits") << "2147483648"
                                      << "fails";
    QTest::newRow("not a number") << "fast"
                                  << "fails";
    QTest::newRow("zero") << "0"
                          << "fails";
    QTest::newRow("negative") << "-9600"
                              << "fails";
    QTest::newRow("leading zeros") << "0009600"
                                   << "opens";
    QTest::newRow("boot message rate") << "74880"
                                       << "either";
    QTest::newRow("largest 32-bit rate") << "2147483647"
                                         << "either";
}

void TestHostileInput::baudTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, outcome);
    ConsoleFixture fixture;
    fixture.addPort(2);
    fixture.start();
    fixture.find<QComboBox>("Combo2")->setCurrentText(text);

    fixture.click("Command1");
    const bool opened = fixture.button("Command1")->text() == QStringLiteral("关闭");
    if (outcome != QLatin1String("either"))
        QCOMPARE(opened, outcome == QLatin1String("opens"));
    if (opened) {
        // Never a rate other than the one typed.
        QCOMPARE(fixture.find<SerialPort>("MSComm1")->settings(), text + QStringLiteral(",N,8,1"));
        QVERIFY(fixture.messages.shown.isEmpty());
    } else {
        QCOMPARE(fixture.messages.texts(), QStringList{kCannotOpen});
        QCOMPARE(fixture.messages.shown.first().icon, MessageBox::Icon::Error);
        fixture.verifyPortClosed();
    }
}

QTEST_MAIN(TestHostileInput)
#include "tst_hostile_input.moc"
