#include "serial/serial_port.h"
#include "support/console_fixture.h"

#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>
#include <QSignalSpy>

#include <termios.h>

Q_DECLARE_METATYPE(DeviceDetails)

class TestPortControl : public QObject
{
    Q_OBJECT

private slots:
    void portHeldByAnotherProgramIsNotListed();
    void itemToolTipNamesTheAdapter_data();
    void itemToolTipNamesTheAdapter();
    void openAndClose();
    void deviceGoneSinceRefreshFailsToOpen();
    void vanishedDeviceClosesThePort();
    void refreshFindsPortsAgain();
};

void TestPortControl::portHeldByAnotherProgramIsNotListed()
{
    ConsoleFixture fixture;
    fixture.addPort(1);
    const Pty &denied = fixture.addPort(2);
    const Pty &held = fixture.addPort(3);
    fixture.addPort(4);
    fixture.deniedDevices.insert(denied.slavePath());

    QProcess holder;
    holder.start(QStringLiteral(PORT_HOLDER_PATH), {held.slavePath()});
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readAll(), QByteArray("held\n"));

    fixture.start();
    auto *combo1 = fixture.find<QComboBox>("Combo1");
    QCOMPARE(combo1->count(), 2);
    QCOMPARE(combo1->itemText(0), QStringLiteral("COM1"));
    QCOMPARE(combo1->itemText(1), QStringLiteral("COM4"));
    QCOMPARE(combo1->currentText(), QStringLiteral("COM4"));
    // Only the device this user may not open is named in the hint, not the busy one.
    QCOMPARE(combo1->toolTip(),
             QStringLiteral("无权限打开：%1（COM2）\n请把当前用户加入 dialout 组（sudo adduser "
                            "$USER dialout），然后重新登录。")
                 .arg(denied.slavePath()));

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
    fixture.deniedDevices.clear();
    fixture.click("Command2");
    QCOMPARE(combo1->count(), 4);
    QCOMPARE(combo1->itemText(2), QStringLiteral("COM3"));
    QCOMPARE(combo1->toolTip(), QString());
}

void TestPortControl::itemToolTipNamesTheAdapter_data()
{
    QTest::addColumn<DeviceDetails>("details");
    QTest::addColumn<QString>("lines"); // after the device path

    QTest::addRow("USB bridge") << DeviceDetails{QStringLiteral("USB2.0-Serial"),
                                                 QStringLiteral("QinHeng Electronics"), 0x1a86, 0x7523}
                                << QStringLiteral("\nUSB2.0-Serial\nQinHeng Electronics\n1a86:7523");
    QTest::addRow("ids with leading zeros")
        << DeviceDetails{{}, {}, 0x0403, 0x0001} << QStringLiteral("\n0403:0001");
    QTest::addRow("vendor id alone") << DeviceDetails{QStringLiteral("ttyS0"), {}, 0x0403, std::nullopt}
                                     << QStringLiteral("\nttyS0");
    QTest::addRow("unknown to the system") << DeviceDetails{} << QString();
}

void TestPortControl::itemToolTipNamesTheAdapter()
{
    QFETCH(DeviceDetails, details);
    QFETCH(QString, lines);
    ConsoleFixture fixture;
    const QString path = fixture.addPort(17).slavePath();
    fixture.deviceDetails.insert(path, details);
    fixture.start();
    QCOMPARE(fixture.find<QComboBox>("Combo1")->itemData(0, Qt::ToolTipRole).toString(), path + lines);
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
    QVERIFY(fixture.button("Command4")->isEnabled());
    QVERIFY(combo2->isEnabled());
    QCOMPARE(fixture.find<SerialPort>("MSComm1")->settings(), QStringLiteral("9600,N,8,1"));
    QCOMPARE(pty.speed(), unsigned(B9600));

    // A new rate takes effect at the next opening only.
    combo2->setCurrentText(QStringLiteral("115200"));
    QCOMPARE(pty.speed(), unsigned(B9600));
    fixture.click("Command1");
    fixture.verifyPortClosed();
    fixture.click("Command1");
    QCOMPARE(pty.speed(), unsigned(B115200));
    QVERIFY(fixture.messages.shown.isEmpty());
}

void TestPortControl::deviceGoneSinceRefreshFailsToOpen()
{
    ConsoleFixture fixture;
    Pty &pty = fixture.addPort(2);
    fixture.start();
    pty.unplug();

    fixture.click("Command1");
    QCOMPARE(fixture.messages.texts(), QStringList{QStringLiteral("设置失败，设备发生错误")});
    QCOMPARE(fixture.messages.shown.first().icon, MessageBox::Icon::Error);
    fixture.verifyPortClosed();
}

void TestPortControl::vanishedDeviceClosesThePort()
{
    ConsoleFixture fixture;
    Pty &pty = fixture.addPort(5);
    fixture.start();
    fixture.openPort(5);
    auto *comm = fixture.find<SerialPort>("MSComm1");
    QSignalSpy lost(comm, &SerialPort::deviceLost);
    QSignalSpy errors(comm->findChild<QSerialPort *>(), &QSerialPort::errorOccurred);

    pty.write("partial line");
    pty.unplug();
    QTRY_COMPARE(fixture.button("Command1")->text(), QStringLiteral("打开"));
    // Watch a while longer: a port left open on a gone device would keep reporting errors.
    QTest::qWait(200);
    QCOMPARE(lost.count(), 1);
    QVERIFY2(errors.count() <= 3, qPrintable(QString::number(errors.count())));
    fixture.verifyPortClosed();
    QVERIFY(fixture.messages.shown.isEmpty());
}

void TestPortControl::refreshFindsPortsAgain()
{
    ConsoleFixture fixture;
    fixture.addPort(7);
    fixture.start();
    fixture.openPort(7);

    // Replugged elsewhere while open: the list only changes after closing and refreshing.
    fixture.addPort(8);
    fixture.click("Command2"); // disabled while open
    QCOMPARE(fixture.find<QComboBox>("Combo1")->count(), 1);
    fixture.click("Command1");
    fixture.click("Command2");
    QCOMPARE(fixture.find<QComboBox>("Combo1")->count(), 2);
    QCOMPARE(fixture.find<QComboBox>("Combo1")->currentText(), QStringLiteral("COM8"));
}

QTEST_MAIN(TestPortControl)
#include "tst_port_control.moc"
