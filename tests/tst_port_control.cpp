#include "platform/unique_fd.h"
#include "serial/serial_link.h"
#include "support/console_fixture.h"
#include "textbox/text_box.h"

#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>

#include <chrono>
#include <thread>

class TestPortControl : public QObject
{
    Q_OBJECT

private slots:
    void portsThatDoNotOpenAreNamed_data();
    void portsThatDoNotOpenAreNamed();
    void realPermissionCheck();
    void openAndClose();
    void deviceGoneSinceRefreshFailsToOpen_data();
    void deviceGoneSinceRefreshFailsToOpen();
    void vanishedDeviceClosesThePort_data();
    void vanishedDeviceClosesThePort();
    void moduleThatDoesNotRead();
    void portNumberTexts_data();
    void portNumberTexts();
};

namespace {
const QString kCannotOpen = QStringLiteral("设置失败，设备发生错误");
const QString kChoosePort = QStringLiteral("请选刷新设备，并选择相应设备！");
constexpr int kMiB = 1024 * 1024;

QStringList items(const QComboBox *combo)
{
    QStringList result;
    for (int i = 0; i < combo->count(); ++i)
        result << combo->itemText(i);
    return result;
}

void verifyFailedOpen(const ConsoleFixture &fixture, const QString &message)
{
    QCOMPARE(fixture.messages.texts(), QStringList{message});
    QCOMPARE(fixture.messages.shown.first().icon,
             message == kChoosePort ? MessageBox::Icon::Warning : MessageBox::Icon::Error);
    fixture.verifyPortClosed();
}
} // namespace

void TestPortControl::portsThatDoNotOpenAreNamed_data()
{
    // Of COM3: "" none, else a child process. Who else may hold a port, and what the hint then says, is
    // tst_port_hints' table.
    QTest::addColumn<QString>("holder");
    QTest::addColumn<QString>(
        "hint"); // after the permission hint, for COM3's {device} and the holder's {pid}
    const QString held =
        QStringLiteral("\n被占用：{device}（COM3），占用者：%1\n请先关闭占用它的程序，再点“刷新”。");
    QTest::newRow("held by nobody") << ""
                                    << "";
    QTest::newRow("held by a child process") << "seen" << held.arg("port_holder（进程号 {pid}）");
}

void TestPortControl::portsThatDoNotOpenAreNamed()
{
    QFETCH(QString, holder);
    QFETCH(QString, hint);
    ConsoleFixture fixture;
    fixture.addPort(1);
    const Pty &denied = fixture.addPort(2);
    const Pty &held = fixture.addPort(3);
    const QString usb = fixture.addPort(4).slavePath();
    fixture.deviceDetails.insert(usb, DeviceDetails{QStringLiteral("USB2.0-Serial"), {}, 0x1a86, 0x7523});
    fixture.deniedDevices.insert(denied.slavePath());
    fixture.start();
    auto *combo1 = fixture.find<QComboBox>("Combo1");

    QProcess process;
    if (!holder.isEmpty()) {
        process.start(QStringLiteral(PORT_HOLDER_PATH), {held.slavePath()});
        QVERIFY(process.waitForReadyRead(10000));
        QCOMPARE(process.readAll(), QByteArray("held\n"));
    }
    fixture.click("Command2");
    QCOMPARE(items(combo1),
             holder.isEmpty() ? QStringList({"COM1", "COM3", "COM4"}) : QStringList({"COM1", "COM4"}));
    QCOMPARE(combo1->currentText(), QStringLiteral("COM4"));
    QCOMPARE(combo1->itemData(combo1->currentIndex(), Qt::ToolTipRole).toString(),
             usb + QStringLiteral("\nUSB2.0-Serial\n1a86:7523"));
    QCOMPARE(combo1->toolTip(),
             QStringLiteral("无权限打开：%1（COM2）\n请把当前用户加入 dialout 组（sudo adduser "
                            "$USER dialout），然后重新登录。")
                     .arg(denied.slavePath()) +
                 hint.replace("{device}", held.slavePath())
                     .replace("{pid}", QString::number(process.processId())));
    process.closeWriteChannel();
    process.waitForFinished(10000);
}

void TestPortControl::realPermissionCheck()
{
    // The check the probe relies on, asked as an unprivileged user ("nobody") in a child process.
    if (::geteuid() != 0)
        QSKIP("only root may become another user");
    QTemporaryDir dir;
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0711), 0);
    const auto device = [&dir](const char *name, mode_t mode) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        const UniqueFd fd(::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY, mode));
        ::fchmod(fd.get(), mode); // past the umask
        return path;
    };
    const QString rootOnly = device("root-only", 0600), everyone = device("everyone", 0666);
    const auto accessible = systemDeviceFacts().accessible;
    const pid_t child = ::fork();
    if (child == 0) {
        const bool nobody = ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(!nobody ? 3 : accessible(rootOnly) ? 1 : accessible(everyone) ? 0 : 2);
    }
    int status = -1;
    QCOMPARE(::waitpid(child, &status, 0), child);
    if (WEXITSTATUS(status) == 3)
        QSKIP("could not become nobody");
    QCOMPARE(WEXITSTATUS(status), 0); // 1: a root-only device passed as accessible; 2: the reverse
}

void TestPortControl::openAndClose()
{
    ConsoleFixture fixture;
    Pty &pty = fixture.addPort(4);
    fixture.start();
    auto *combo2 = fixture.find<QComboBox>("Combo2");
    combo2->setCurrentText(QStringLiteral("9600"));

    fixture.click("Command1");
    QCOMPARE(fixture.button("Command1")->text(), QStringLiteral("关闭"));
    QVERIFY(!fixture.button("Command2")->isEnabled());
    QVERIFY(!fixture.find<QComboBox>("Combo1")->isEnabled());
    QCOMPARE(pty.speed(), unsigned(B9600));

    // A new rate takes effect at the next opening only.
    combo2->setCurrentText(QStringLiteral("115200"));
    QCOMPARE(pty.speed(), unsigned(B9600));
    fixture.click("Command1");
    fixture.verifyPortClosed();
    fixture.click("Command1");
    QCOMPARE(pty.speed(), unsigned(B115200));
}

void TestPortControl::deviceGoneSinceRefreshFailsToOpen_data()
{
    // A serial port is a terminal: anything else cannot be set up, is not listed and fails to open.
    QTest::addColumn<QString>("path"); // empty: unplugged after the probe
    QTest::newRow("unplugged since the probe") << "";
    QTest::newRow("null device") << "/dev/null";
    QTest::newRow("zero device, endless input") << "/dev/zero";
}

void TestPortControl::deviceGoneSinceRefreshFailsToOpen()
{
    QFETCH(QString, path);
    ConsoleFixture fixture;
    fixture.addPort(2);
    Pty &nine = fixture.addPort(9);
    if (!path.isEmpty())
        fixture.devices.insert(9, path);
    fixture.start();
    auto *combo1 = fixture.find<QComboBox>("Combo1");
    QCOMPARE(combo1->count(), path.isEmpty() ? 2 : 1);
    nine.unplug();

    combo1->setCurrentText(QStringLiteral("COM9"));
    fixture.click("Command1");
    verifyFailedOpen(fixture, kCannotOpen);
    // The failed attempt leaves nothing behind: the real port next to it still opens.
    combo1->setCurrentText(QStringLiteral("COM2"));
    fixture.click("Command1");
    QCOMPARE(fixture.button("Command1")->text(), QStringLiteral("关闭"));
}

void TestPortControl::vanishedDeviceClosesThePort_data()
{
    QTest::addColumn<QString>("when");
    QTest::newRow("after a partial line") << "partial";
    QTest::newRow("during a receive flood") << "flood";
    QTest::newRow("during a receive flood, noticed by a send") << "flood, send";
    QTest::newRow("with a send still queued") << "queued send";
    QTest::newRow("sending before the loss is noticed") << "send after";
}

void TestPortControl::vanishedDeviceClosesThePort()
{
    QFETCH(QString, when);
    ConsoleFixture fixture;
    Pty &pty = fixture.addPort(5);
    fixture.start();
    fixture.openPort(5);

    const QByteArray flood = QByteArray("0123456789 \xca\xfd\xbe\xdd abcdef\r\n").repeated(4 * kMiB / 24);
    if (when.startsWith(QLatin1String("flood"))) {
        // Written while the window's thread is held up: the reader keeps what it reads of it until the
        // window takes it, and the device goes once it has read the last byte.
        std::thread writer([&] { pty.writeBlocking(flood); });
        writer.join();
        int unread = 1;
        for (int wait = 0; wait < 1000 && unread > 0; ++wait) {
            ::ioctl(pty.slave(), FIONREAD, &unread);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        QCOMPARE(unread, 0);
    } else if (when == QLatin1String("queued send")) {
        fixture.textBox("Text4")->setText(QString(kMiB, QLatin1Char('x')));
        fixture.click("Command4");
    } else {
        pty.write("partial line");
    }
    pty.unplug();
    if (when.endsWith(QLatin1String("send after")) || when.endsWith(QLatin1String(", send")))
        fixture.click("Command4");

    QTRY_COMPARE(fixture.button("Command1")->text(), QStringLiteral("打开"));
    // Every byte read before the loss is shown, whichever side noticed the loss.
    if (when.startsWith(QLatin1String("flood")))
        QCOMPARE(fixture.textBox("Text3")->toPlainText(),
                 QStringLiteral(u"0123456789 数据 abcdef\n").repeated(4 * kMiB / 24));
    // A port left open on a gone device keeps reporting errors: the window would spin.
    const auto cpu = fixture.cpuWhileIdle();
    QVERIFY2(cpu < kIdleCpuBound, qPrintable(QString::number(cpu.count())));
    fixture.verifyPortClosed();
    // A send that raced the loss may be reported as to a closed port; nothing else is said.
    for (const QString &text : fixture.messages.texts())
        QCOMPARE(text, QStringLiteral("串口未打开！"));

    // Plugged in again under the same number: refresh finds it and it works.
    Pty &again = fixture.addPort(5);
    fixture.click("Command2");
    fixture.openPort(5);
    fixture.click("Command8");
    QCOMPARE(again.read(4), QByteArray("AT\r\n"));
}

void TestPortControl::moduleThatDoesNotRead()
{
    constexpr int sends = 8;
    ConsoleFixture fixture;
    Pty &module = fixture.addPort(5);
    fixture.start();
    fixture.openPort(5);
    constexpr int kPieces = kMiB / 16;
    fixture.textBox("Text4")->setText(literal(u"发送 line\r\nx\0y\rz ").repeated(kPieces));
    const QByteArray one = QByteArray("\xb7\xa2\xcb\xcd line\r\nx\0y\rz ", 17).repeated(kPieces);
    for (int i = 0; i < sends; ++i)
        fixture.click("Command4");

    // The line is full and the module reads nothing: the window must neither spin nor call it lost.
    const auto cpu = fixture.cpuWhileIdle();
    QVERIFY2(cpu < kIdleCpuBound, qPrintable(QString::number(cpu.count())));
    QVERIFY(fixture.messages.shown.isEmpty());
    QCOMPARE(fixture.button("Command1")->text(), QStringLiteral("关闭"));
    const QByteArray wire = module.read(one.size() * sends, 60000);
    QVERIFY(wire == one.repeated(sends));
}

void TestPortControl::portNumberTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("baud");
    QTest::addColumn<int>("opens");       // COM number opened, 0 for none
    QTest::addColumn<QString>("message"); // shown when none opens
    // COM2 and COM4 exist. The number is what is left after every "COM" is taken out, rounded to the
    // nearest whole number (a half to the even one); the grammar itself is tst_number_text's table.
    // clang-format off
    const auto row = [](const char *tag, const QString &text, const QString &baud, int opens, const QString &message) {
        QTest::newRow(tag) << text << baud << opens << message;
    };
    row("COM taken out twice", "COMCOM2", "115200", 2, "");
    row("3.5 rounds to 4", "COM3.5", "115200", 4, "");
    row("lower case completes to the listed COM2", "com2", "115200", 2, "");
    row("negative", "COM-2", "115200", 0, kCannotOpen);
    row("too short to be a port", "C2", "115200", 0, kChoosePort);
    row("rate not a plain number", "COM2", "1e9", 0, kCannotOpen);
    row("rate with leading zeros", "COM2", "0009600", 2, "");
    // clang-format on
}

void TestPortControl::portNumberTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, baud);
    QFETCH(int, opens);
    QFETCH(QString, message);
    ConsoleFixture fixture;
    fixture.addPort(2);
    fixture.addPort(4);
    fixture.start();
    fixture.find<QComboBox>("Combo1")->setCurrentText(text);
    fixture.find<QComboBox>("Combo2")->setCurrentText(baud);
    fixture.click("Command1");
    if (!opens)
        return verifyFailedOpen(fixture, message);
    QCOMPARE(fixture.button("Command1")->text(), QStringLiteral("关闭"));
    QCOMPARE(fixture.find<SerialLink>("serialLink")->devicePath(), fixture.devices.value(opens));
    // Never a rate other than the one typed.
    QCOMPARE(fixture.find<SerialLink>("serialLink")->baudRate(), baud.toInt());
}

QTEST_MAIN(TestPortControl)
#include "tst_port_control.moc"
