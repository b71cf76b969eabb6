#include "serial/serial_link.h"
#include "support/console_fixture.h"
#include "textbox/line_breaks.h"
#include "textbox/text_box.h"

#include <QScrollBar>
#include <QSignalSpy>

class TestSerialConsole : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sendBoxGoesOutUnchanged_data();
    void sendBoxGoesOutUnchanged();
    void receivedPiecesAppearInOrder_data();
    void receivedPiecesAppearInOrder();
    void caretFollowsNewestData();
    void clearEmptiesBothBoxes();
    void fullLogKeepsTheNewestLines_data();
    void fullLogKeepsTheNewestLines();

private:
    std::unique_ptr<ConsoleFixture> m_fixture;
    Pty *m_module = nullptr;
};

void TestSerialConsole::init()
{
    m_fixture = std::make_unique<ConsoleFixture>();
    m_module = &m_fixture->addPort(3);
    m_fixture->start();
    m_fixture->openPort(3);
}

void TestSerialConsole::cleanup()
{
    m_fixture.reset();
}

void TestSerialConsole::sendBoxGoesOutUnchanged_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("initial AT") << "AT\r\n" << QByteArray("AT\r\n");
    QTest::newRow("no terminator added") << "AT+GMR" << QByteArray("AT+GMR");
    QTest::newRow("lone LF and CR kept") << "a\nb\rc" << QByteArray("a\nb\rc");
    QTest::newRow("Chinese in GBK") << "发送" << QByteArray("\xb7\xa2\xcb\xcd");
    QTest::newRow("NUL inside") << QString::fromUtf16(u"x\0y", 3) << QByteArray("x\0y", 3);
}

void TestSerialConsole::sendBoxGoesOutUnchanged()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, wire);
    m_fixture->textBox("Text4")->setText(text);
    m_fixture->click("Command4");
    QCOMPARE(m_module->readNow(), wire);
    QVERIFY(m_fixture->messages.shown.isEmpty());
}

void TestSerialConsole::receivedPiecesAppearInOrder_data()
{
    // clang-format off
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QString>("shown");
    QTest::newRow("reply in three pieces") << QList<QByteArray>{"AT\r\r\n", "\r\nO", "K\r\n"} << "AT\n\nOK\n";
    // An empty piece: the port is closed and opened again; its first line break is a line of its own.
    QTest::newRow("CR, reopened, LF") << QList<QByteArray>{"one\r", "", "\ntwo\r\n"} << "one\n\ntwo\n";
    QTest::newRow("GBK character split") << QList<QByteArray>{"+IPD,4:\xca", "\xfd\xbe\xdd"} << "+IPD,4:数据";
    QTest::newRow("NUL and controls") << QList<QByteArray>{QByteArray("a\0b", 3), "\x07\x1b[0m\x08z"} << QString::fromUtf16(u"a\0b\x07\x1b[0m\x08z", 10);
    QTest::newRow("undecodable bytes") << QList<QByteArray>{"x\x81", " y"} << QString::fromUtf16(u"x\xfffd y");
    QTest::newRow("flood the window takes in many turns") << QList<QByteArray>{QByteArray("+IPD,4:\xca\xfd\xbe\xdd abc\r\n").repeated(100000)} << QStringLiteral(u"+IPD,4:数据 abc\n").repeated(100000);
    // clang-format on
}

void TestSerialConsole::receivedPiecesAppearInOrder()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QString, shown);
    QSignalSpy comm(m_fixture->find<SerialLink>("serialLink"), &SerialLink::received);
    for (const QByteArray &piece : pieces) {
        if (piece.isEmpty()) {
            m_fixture->click("Command1");
            m_fixture->click("Command1");
            continue;
        }
        m_module->write(piece);
        QTRY_VERIFY(!comm.isEmpty());
        comm.clear();
    }
    QTRY_COMPARE(m_fixture->textBox("Text3")->toPlainText(), shown);
}

void TestSerialConsole::caretFollowsNewestData()
{
    TextBox *text3 = m_fixture->textBox("Text3");
    QByteArray lines;
    for (int i = 0; i < 200; ++i)
        lines += "+CWLAP:(3,\"AP" + QByteArray::number(i) + "\",-60,\"aa:bb:cc:dd:ee:ff\",6)\r\n";
    m_module->write(lines);
    QTRY_COMPARE(text3->lineCount(), 201);

    // The user scrolls up and puts the caret at the start; new data still brings the view down.
    text3->moveCursor(QTextCursor::Start);
    text3->verticalScrollBar()->setValue(0);
    m_module->write("\r\nOK\r\n");
    QTRY_COMPARE(text3->lineCount(), 203);
    QCOMPARE(text3->cursorPosition(), text3->length());
    QVERIFY(text3->verticalScrollBar()->value() > 0);
}

void TestSerialConsole::clearEmptiesBothBoxes()
{
    m_module->write("ready\r\n");
    QTRY_COMPARE(m_fixture->textBox("Text3")->toPlainText(), QStringLiteral("ready\n"));
    m_fixture->click("Command5");
    QCOMPARE(m_fixture->textBox("Text3")->toPlainText(), QString());
    QCOMPARE(m_fixture->textBox("Text4")->text(), QString());
    m_fixture->click("Command4");
    QCOMPARE(m_module->readNow(), QByteArray());
}

QTEST_MAIN(TestSerialConsole)
#include "tst_serial_console.moc"

void TestSerialConsole::fullLogKeepsTheNewestLines_data()
{
    QTest::addColumn<QByteArray>("line"); // %1: its number
    QTest::newRow("numbered lines") << QByteArray("+IPD,9:%1\r\n");
    QTest::newRow("line breaks only") << QByteArray("\r\n");
    QTest::newRow("AT echoes") << QByteArray("AT\r\r\n\r\nOK\r\n");
}

void TestSerialConsole::fullLogKeepsTheNewestLines()
{
    // Past its ceiling the box drops its oldest lines and keeps the newest, exactly, whatever they
    // cost to hold, and says so once. The widest line went with them: so does the scroll range.
    QFETCH(QByteArray, line);
    m_fixture.reset();
    m_fixture = std::make_unique<ConsoleFixture>();
    constexpr qint64 kCeiling = 1024 * 1024;
    m_fixture->receiveCeiling = kCeiling;
    m_module = &m_fixture->addPort(3);
    m_fixture->start();
    m_fixture->openPort(3);
    TextBox *text3 = m_fixture->textBox("Text3");
    m_module->write(QByteArray(6000, 'W') + "\r\n");
    QTRY_VERIFY(text3->horizontalScrollBar()->maximum() > 1000);
    QByteArray sent;
    for (int i = 0; sent.size() < 3 * kCeiling; ++i)
        sent += QByteArray(line).replace("%1", QByteArray::number(i).rightJustified(9, '0'));
    sent += "end\r\n";
    m_module->write(sent);
    LineBreaks breaks;
    const QString expected = breaks.normalize(QString::fromLatin1(sent));
    QTRY_VERIFY(text3->toPlainText().endsWith(QStringLiteral("\nend\n")));
    const QString kept = text3->toPlainText();
    QVERIFY(text3->heldBytes() <= kCeiling);
    QVERIFY(kept.size() > kCeiling / 8);
    QVERIFY(expected.endsWith(kept));
    QCOMPARE(expected.at(expected.size() - kept.size() - 1), u'\n');
    QTRY_VERIFY(text3->horizontalScrollBar()->maximum() < 1000);
    QCOMPARE(m_fixture->messages.texts(),
             QStringList{QStringLiteral("串口接收内容已达 1 MB 上限，已删除最早的内容。")});
}
