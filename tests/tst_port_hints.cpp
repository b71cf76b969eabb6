#include "serial/port_hints.h"

#include <QTest>

Q_DECLARE_METATYPE(DeviceDetails)
Q_DECLARE_METATYPE(DeviceHolders)

class TestPortHints : public QObject
{
    Q_OBJECT

private slots:
    void portToolTip_data();
    void portToolTip();
    void permissionHint_data();
    void permissionHint();
    void heldHint_data();
    void heldHint();
};

namespace {
const QString kPath = QStringLiteral("/dev/ttyUSB0");
const QString kCloseFirst = QStringLiteral("请先关闭占用它的程序，再点“刷新”。");
const QString kModemManager =
    QStringLiteral("ModemManager：加一条 udev 规则 ENV{ID_MM_DEVICE_IGNORE}=\"1\"，让它不再探测这个设备。");
const QString kBrltty =
    QStringLiteral("brltty：删除或停用它的 USB udev 规则（不用盲文点显器时也可卸载 brltty）。");
} // namespace

void TestPortHints::portToolTip_data()
{
    QTest::addColumn<DeviceDetails>("details");
    QTest::addColumn<QString>("lines"); // after the device path
    // clang-format off
    QTest::addRow("USB bridge") << DeviceDetails{"USB2.0-Serial", "QinHeng Electronics", 0x1a86, 0x7523} << "\nUSB2.0-Serial\nQinHeng Electronics\n1a86:7523";
    QTest::addRow("ids with leading zeros") << DeviceDetails{{}, {}, 0x0403, 0x0001} << "\n0403:0001";
    QTest::addRow("vendor id alone") << DeviceDetails{"ttyS0", {}, 0x0403, std::nullopt} << "\nttyS0";
    // clang-format on
    QTest::addRow("unknown to the system") << DeviceDetails{} << "";
}

void TestPortHints::portToolTip()
{
    QFETCH(DeviceDetails, details);
    QFETCH(QString, lines);
    QCOMPARE(::portToolTip(kPath, details), kPath + lines);
}

void TestPortHints::permissionHint_data()
{
    QTest::addColumn<QList<ProbedPort>>("denied");
    QTest::addColumn<QString>("devices");
    QTest::newRow("one") << QList<ProbedPort>{{17, kPath}} << QStringLiteral("/dev/ttyUSB0（COM17）");
    QTest::newRow("two, in probe order") << QList<ProbedPort>{{1, "/dev/ttyS0"}, {17, kPath}}
                                         << QStringLiteral("/dev/ttyS0（COM1）、/dev/ttyUSB0（COM17）");
}

void TestPortHints::permissionHint()
{
    QFETCH(QList<ProbedPort>, denied);
    QFETCH(QString, devices);
    QCOMPARE(
        ::permissionHint(denied),
        QStringLiteral("无权限打开：") + devices +
            QStringLiteral("\n请把当前用户加入 dialout 组（sudo adduser $USER dialout），然后重新登录。"));
}

void TestPortHints::heldHint_data()
{
    QTest::addColumn<QList<ProbedPort>>("held");
    QTest::addColumn<DeviceHolders>("holders");
    QTest::addColumn<QStringList>("lines");
    const QList<ProbedPort> one{{17, kPath}};
    const DeviceHolder minicom{kPath, QStringLiteral("minicom"), 4242};
    const DeviceHolder modemManager{kPath, QStringLiteral("ModemManager"), 512};
    const QString heldBy = QStringLiteral("被占用：/dev/ttyUSB0（COM17），占用者：");

    QTest::newRow("holder seen") << one << DeviceHolders{{minicom}, {}}
                                 << QStringList{heldBy + "minicom（进程号 4242）", kCloseFirst};
    QTest::newRow("two holders of one port")
        << one << DeviceHolders{{minicom, modemManager}, {}}
        << QStringList{heldBy + "minicom（进程号 4242）、ModemManager（进程号 512）", kCloseFirst,
                       kModemManager};
    QTest::newRow("holder unseen, no known service running")
        << one << DeviceHolders{{}, {"systemd"}} << QStringList{heldBy + "另一个程序", kCloseFirst};
    QTest::newRow("holder unseen, both services running")
        << one << DeviceHolders{{}, {"brltty", "ModemManager"}}
        << QStringList{heldBy + "另一个程序", kCloseFirst, "若是 " + kModemManager, "若是 " + kBrltty};
    // Every held port has a holder named: a service that merely runs is not blamed.
    QTest::newRow("all seen, a service running")
        << one << DeviceHolders{{minicom}, {"ModemManager"}}
        << QStringList{heldBy + "minicom（进程号 4242）", kCloseFirst};
    QTest::newRow("holder named on one port only")
        << QList<ProbedPort>{{1, "/dev/ttyS0"}, {17, kPath}} << DeviceHolders{{minicom}, {"brltty"}}
        << QStringList{"被占用：/dev/ttyS0（COM1），占用者：另一个程序", heldBy + "minicom（进程号 4242）",
                       kCloseFirst, "若是 " + kBrltty};
}

void TestPortHints::heldHint()
{
    QFETCH(QList<ProbedPort>, held);
    QFETCH(DeviceHolders, holders);
    QFETCH(QStringList, lines);
    QCOMPARE(::heldHint(held, holders), lines.join(QLatin1Char('\n')));
}

QTEST_MAIN(TestPortHints)
#include "tst_port_hints.moc"
