#include "serial/serial_port.h"
#include "support/console_fixture.h"
#include "support/fault_probes.h"
#include "support/pty.h"
#include "textbox/text_box.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

// The serial device misbehaving under the window: unplugged in the middle of a transfer, taken by
// another program, not a terminal at all, or never reading what it is sent.
class TestFaultsSerial : public QObject
{
    Q_OBJECT

private slots:
    void deviceVanishes_data();
    void deviceVanishes();
    void portTakenBetweenRefreshAndOpen();
    void pathThatIsNotATerminal_data();
    void pathThatIsNotATerminal();
    void moduleThatDoesNotRead_data();
    void moduleThatDoesNotRead();
};

namespace {
constexpr int kCom = 5;
constexpr qint64 kMiB = 1024 * 1024;
// Watching this long shows a busy loop: one would burn most of it as CPU time.
constexpr int kObserveMs = 500;
constexpr std::chrono::milliseconds kIdleCpuBound{150};

// Runs the event loop for a fixed time to watch what the window does on its own; not a settling wait.
std::chrono::milliseconds cpuWhileObserving()
{
    const auto before = cpuTime();
    QTest::qWait(kObserveMs);
    return cpuTime() - before;
}

// Text of a size and make that the module must get byte for byte: Chinese, a NUL, lone CR and LF.
QString bigText(qint64 bytesAtLeast)
{
    static const QString piece = literal(u"发送数据 AT+CIPSEND\r\nline\rx\ny\0z ");
    QString text;
    text.reserve(bytesAtLeast);
    while (text.size() < bytesAtLeast)
        text += piece;
    return text;
}
} // namespace

void TestFaultsSerial::deviceVanishes_data()
{
    QTest::addColumn<QString>("when");
    QTest::newRow("during a receive flood") << "flood";
    QTest::newRow("with a send still queued") << "queued send";
    QTest::newRow("sending before the loss is noticed") << "send after";
}

void TestFaultsSerial::deviceVanishes()
{
    QFETCH(QString, when);
    ConsoleFixture fixture;
    auto module = std::make_unique<Pty>();
    fixture.devices.insert(kCom, module->slavePath());
    fixture.start();
    fixture.openPort(kCom);
    auto *comm = fixture.find<SerialPort>("MSComm1");
    QSignalSpy lost(comm, &SerialPort::deviceLost);
    QSignalSpy errors(comm->findChild<QSerialPort *>(), &QSerialPort::errorOccurred);
    const TextBox &received = *fixture.textBox("Text3");

    if (when == QLatin1String("flood")) {
        // The writer closes the master the moment its last byte is in, while the window is still
        // reading.
        FloodWriter writer(module->releaseMaster(), 4 * kMiB, true);
        QTRY_VERIFY_WITH_TIMEOUT(writer.finished(), 60000);
        QCOMPARE(writer.error(), 0);
    } else if (when == QLatin1String("queued send")) {
        fixture.textBox("Text4")->setText(bigText(kMiB));
        fixture.click("Command4");
        ::close(module->releaseMaster());
    } else {
        ::close(module->releaseMaster());
        fixture.click("Command4"); // before the event loop has seen the hang-up
    }
    module->closeSlave();

    QTRY_COMPARE(fixture.button("Command1")->text(), QStringLiteral("打开"));
    const auto cpu = cpuWhileObserving();
    QVERIFY2(cpu < kIdleCpuBound, qPrintable(QString::number(cpu.count())));
    QCOMPARE(lost.count(), 1);
    // Clearing an error is signalled too; only real ones count, and a handful at most.
    const auto failures = std::count_if(errors.cbegin(), errors.cend(), [](const QList<QVariant> &args) {
        return args.at(0).value<QSerialPort::SerialPortError>() != QSerialPort::NoError;
    });
    QVERIFY2(failures <= 3, qPrintable(QString::number(failures)));
    fixture.verifyPortClosed();
    // A send that raced the loss may be reported as to a closed port; nothing else is said.
    for (const QString &text : fixture.messages.texts())
        QCOMPARE(text, QStringLiteral("串口未打开！"));

    // What was shown before the loss is the flood's beginning, in order and whole line by line.
    FloodChecker checker;
    const qsizetype lines = received.lineCount();
    qsizetype line = 0;
    forEachLine(received, [&](const QString &text) { return ++line == lines || checker.line(text); });
    QVERIFY2(checker.firstMismatch().isEmpty(), qPrintable(checker.firstMismatch()));
    const QString unfinished = received.lineText(lines - 1);
    QVERIFY2(FloodText::shownLine(checker.linesSeen()).startsWith(unfinished),
             qPrintable(unfinished.left(200)));
    if (when == QLatin1String("flood"))
        qInfo("%lld of the flood's lines shown before the device went", checker.linesSeen());

    // Plugged in again (a new device under the same number): refresh finds it and it works.
    module = std::make_unique<Pty>();
    fixture.devices.insert(kCom, module->slavePath());
    fixture.click("Command2");
    QCOMPARE(fixture.find<QComboBox>("Combo1")->currentText(), QStringLiteral("COM%1").arg(kCom));
    fixture.click("Command5");
    fixture.openPort(kCom);
    fixture.click("Command8");
    QCOMPARE(module->read(4, 5000), QByteArray("AT\r\n"));
    ::write(module->masterFd(), "OK\r\n", 4);
    QTRY_COMPARE(fixture.textBox("Text3")->toPlainText(), QStringLiteral("OK\n"));
}

void TestFaultsSerial::portTakenBetweenRefreshAndOpen()
{
    ConsoleFixture fixture;
    const Pty &pty = fixture.addPort(3);
    fixture.start();
    QCOMPARE(fixture.find<QComboBox>("Combo1")->currentText(), QStringLiteral("COM3"));

    QProcess holder;
    holder.start(QStringLiteral(PORT_HOLDER_PATH), {pty.slavePath()});
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readAll(), QByteArray("held\n"));

    fixture.click("Command1");
    QCOMPARE(fixture.messages.texts(), QStringList{QStringLiteral("设置失败，设备发生错误")});
    fixture.verifyPortClosed();

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
    fixture.click("Command1");
    QCOMPARE(fixture.button("Command1")->text(), QStringLiteral("关闭"));
    QCOMPARE(fixture.messages.shown.size(), 1);
}

void TestFaultsSerial::pathThatIsNotATerminal_data()
{
    // A serial port is a terminal: its line settings are terminal attributes. Anything else cannot
    // be set up, so the window reports it as a device that failed, and the probe does not list it.
    QTest::addColumn<QString>("path"); // %1 stands for a scratch directory
    QTest::newRow("null device") << "/dev/null";
    QTest::newRow("zero device, endless input") << "/dev/zero";
    QTest::newRow("regular file") << "%1/file";
    QTest::newRow("directory") << "%1";
    QTest::newRow("named pipe") << "%1/fifo";
    QTest::newRow("dangling symlink") << "%1/dangling";
    QTest::newRow("symlink to a regular file") << "%1/link-to-file";
}

void TestFaultsSerial::pathThatIsNotATerminal()
{
    QFETCH(QString, path);
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString dir = scratch.path();
    {
        QFile file(dir + QStringLiteral("/file"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("AT\r\nOK\r\n");
    }
    QVERIFY(::mkfifo(QFile::encodeName(dir + QStringLiteral("/fifo")).constData(), 0600) == 0);
    QVERIFY(QFile::link(dir + QStringLiteral("/absent"), dir + QStringLiteral("/dangling")));
    QVERIFY(QFile::link(dir + QStringLiteral("/file"), dir + QStringLiteral("/link-to-file")));

    ConsoleFixture fixture;
    fixture.addPort(2);
    fixture.devices.insert(9, path.contains(QLatin1String("%1")) ? path.arg(dir) : path);
    fixture.start();
    auto *combo1 = fixture.find<QComboBox>("Combo1");
    QCOMPARE(combo1->count(), 1);
    QCOMPARE(combo1->currentText(), QStringLiteral("COM2"));

    combo1->setCurrentText(QStringLiteral("COM9"));
    fixture.click("Command1");
    QCOMPARE(fixture.messages.texts(), QStringList{QStringLiteral("设置失败，设备发生错误")});
    fixture.verifyPortClosed();

    // The failed attempt leaves nothing behind: the real port next to it still opens.
    combo1->setCurrentText(QStringLiteral("COM2"));
    fixture.click("Command1");
    QCOMPARE(fixture.button("Command1")->text(), QStringLiteral("关闭"));
    QCOMPARE(fixture.messages.shown.size(), 1);
}

void TestFaultsSerial::moduleThatDoesNotRead_data()
{
    QTest::addColumn<int>("sends");
    QTest::addColumn<bool>("closeFirst");
    QTest::newRow("one 1 MiB send box, then read") << 1 << false;
    QTest::newRow("eight sends queued, then read") << 8 << false;
    QTest::newRow("closed with a send queued") << 2 << true;
}

void TestFaultsSerial::moduleThatDoesNotRead()
{
    QFETCH(int, sends);
    QFETCH(bool, closeFirst);
    ConsoleFixture fixture;
    Pty module;
    fixture.devices.insert(kCom, module.slavePath());
    fixture.start();
    fixture.openPort(kCom);

    const QString text = bigText(kMiB);
    fixture.textBox("Text4")->setText(text);
    for (int i = 0; i < sends; ++i)
        fixture.click("Command4");
    LatencyProbe probe;
    probe.start();
    // The line is full and the module reads nothing: the window must neither block nor spin.
    const auto cpu = cpuWhileObserving();
    probe.stop();
    QVERIFY2(probe.worst() < std::chrono::milliseconds(100),
             qPrintable(QString::number(probe.worst().count())));
    QVERIFY2(cpu < kIdleCpuBound, qPrintable(QString::number(cpu.count())));
    QVERIFY(fixture.messages.shown.isEmpty());
    // A full line is no lost device: the port stays open.
    QCOMPARE(fixture.button("Command1")->text(), QStringLiteral("关闭"));

    const QByteArray one = QStringEncoder("GBK").encode(text);
    if (closeFirst) {
        fixture.click("Command1");
        fixture.verifyPortClosed();
        module.readNow(); // whatever had reached the line before closing
        fixture.openPort(kCom);
        fixture.click("Command8");
        QCOMPARE(module.read(4, 5000).right(4), QByteArray("AT\r\n"));
        return;
    }
    const QByteArray wire = module.read(one.size() * sends, 60000);
    QCOMPARE(wire.size(), one.size() * sends);
    QVERIFY(wire == one.repeated(sends));
}

QTEST_MAIN(TestFaultsSerial)
#include "tst_faults_serial.moc"
