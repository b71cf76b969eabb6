#include "support/console_fixture.h"
#include "tcpserver/local_interface.h"
#include "textbox/text_box.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

Q_DECLARE_METATYPE(LocalInterface)

class TestTcpListener : public QObject
{
    Q_OBJECT

private slots:
    void portText_data();
    void portText();
    void portInUseTakesTwoClicksToRetry();
    void stopDropsTheClient();
    void addressTheModuleCanReach_data();
    void addressTheModuleCanReach();
    void defaultRoutesFromTheTable_data();
    void defaultRoutesFromTheTable();

private:
    static void verifyFailedStart(const ConsoleFixture &fixture);
};

void TestTcpListener::verifyFailedStart(const ConsoleFixture &fixture)
{
    QCOMPARE(fixture.messages.texts(), QStringList{QStringLiteral("开启出错")});
    QCOMPARE(fixture.messages.shown.first().icon, MessageBox::Icon::Warning);
    QCOMPARE(fixture.button("Command3")->text(), QStringLiteral("开启服务"));
    QVERIFY(!fixture.button("Command6")->isEnabled());
}

void TestTcpListener::portText_data()
{
    QTest::addColumn<QString>("text"); // %1 stands for a free port
    QTest::addColumn<bool>("listens");
    // The number rounded down must be a TCP port; the grammar itself is tst_number_text's table.
    QTest::newRow("plain") << "%1" << true;
    QTest::newRow("fraction rounded down") << "%1.9" << true;
    QTest::newRow("0.9 rounds down to 0") << "0.9" << false;
    QTest::newRow("above 65535") << "65536" << false;
}

void TestTcpListener::portText()
{
    QFETCH(QString, text);
    QFETCH(bool, listens);
    ConsoleFixture fixture;
    fixture.start();
    const quint16 port = freeTcpPort();
    fixture.find<QLineEdit>("Text2")->setText(text.contains(QLatin1String("%1")) ? text.arg(port) : text);

    fixture.click("Command3");
    if (!listens) {
        verifyFailedStart(fixture);
        return;
    }
    QCOMPARE(fixture.button("Command3")->text(), QStringLiteral("关闭监听"));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(client.waitForConnected(5000));
}

void TestTcpListener::portInUseTakesTwoClicksToRetry()
{
    ConsoleFixture fixture;
    fixture.start();
    auto other = std::make_unique<QTcpServer>();
    QVERIFY(other->listen(QHostAddress::Any, 0));
    fixture.find<QLineEdit>("Text2")->setText(QString::number(other->serverPort()));

    fixture.click("Command3");
    verifyFailedStart(fixture);

    other.reset();
    fixture.click("Command3"); // resets, silently
    QCOMPARE(fixture.button("Command3")->text(), QStringLiteral("开启监听"));
    fixture.click("Command3");
    QCOMPARE(fixture.button("Command3")->text(), QStringLiteral("关闭监听"));
    QCOMPARE(fixture.messages.shown.size(), 1);
}

void TestTcpListener::stopDropsTheClient()
{
    ConsoleFixture fixture;
    fixture.start();
    const quint16 port = fixture.startServer();
    const auto client = connectClient(port);
    QTRY_VERIFY(fixture.textBox("Text5")->toPlainText().contains(QStringLiteral("新客户端接入")));

    QSignalSpy dropped(client.get(), &QTcpSocket::disconnected);
    fixture.click("Command3");
    QVERIFY(dropped.wait());
    QCOMPARE(fixture.button("Command3")->text(), QStringLiteral("开启监听"));
    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!late.waitForConnected(5000));
}

void TestTcpListener::addressTheModuleCanReach_data()
{
    QTest::addColumn<LocalInterfaces>("interfaces");
    QTest::addColumn<QString>("shown"); // in Text1, for "建立TCP"
    // name, IPv4 addresses, up, loopback
    const LocalInterface lo{"lo", {"127.0.0.1"}, true, true, std::nullopt};
    const LocalInterface bridge{"docker0", {"172.17.0.1"}, true, false, std::nullopt};
    const LocalInterface wired{"enp3s0", {"10.0.0.5"}, true, false, std::nullopt};
    const LocalInterface wifi{"wlp2s0", {"192.168.1.20", "192.168.1.21"}, true, false, std::nullopt};
    const LocalInterface tunnel{"tun0", {"10.8.0.2"}, true, false, std::nullopt};
    const auto routed = [](LocalInterface interface, int metric) {
        interface.defaultRouteMetric = metric;
        return interface;
    };
    QTest::newRow("default route on the second interface")
        << LocalInterfaces{wired, routed(wifi, 600)} << "192.168.1.20";
    QTest::newRow("bridge listed first") << LocalInterfaces{lo, bridge, routed(wifi, 600)} << "192.168.1.20";
    QTest::newRow("VPN carries the only default route")
        << LocalInterfaces{routed(tunnel, 50), wired} << "10.0.0.5";
    // NetworkManager gives a VPN metric 50, below any Wi-Fi or wired default route.
    QTest::newRow("VPN's default route has the lowest metric")
        << LocalInterfaces{wired, routed(wifi, 600), routed(tunnel, 50)} << "192.168.1.20";
    QTest::newRow("lower metric wins over the order listed")
        << LocalInterfaces{routed(wifi, 600), routed(wired, 100)} << "10.0.0.5";
    QTest::newRow("no default route") << LocalInterfaces{lo, bridge, wired, wifi} << "10.0.0.5";
    QTest::newRow("only loopback") << LocalInterfaces{lo} << "127.0.0.1";
}

void TestTcpListener::addressTheModuleCanReach()
{
    QFETCH(LocalInterfaces, interfaces);
    QFETCH(QString, shown);
    QCOMPARE(reachableAddress(interfaces), shown);
    // The tooltip offers every address, so the user can pick another.
    const QString listing = addressListing(interfaces);
    for (const LocalInterface &interface : interfaces) {
        for (const QString &address : interface.ipv4)
            QVERIFY(listing.contains(interface.name + QStringLiteral("：") + address));
    }
}

void TestTcpListener::defaultRoutesFromTheTable_data()
{
    QTest::addColumn<QByteArray>("table"); // as /proc/net/route gives it
    QTest::addColumn<QString>("metrics");  // interface=metric, sorted
    const QByteArray header =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    const auto route = [](const char *iface, const char *destination, const char *flags, int metric,
                          const char *mask) {
        return QByteArray(iface) + '\t' + destination + "\t0101A8C0\t" + flags + "\t0\t0\t" +
               QByteArray::number(metric) + '\t' + mask + "\t0\t0\t0   \n";
    };
    QTest::newRow("default routes of a Wi-Fi and a VPN")
        << header + route("wlan0", "00000000", "0003", 600, "00000000") +
               route("wlan0", "0001A8C0", "0001", 600, "00FFFFFF") +
               route("tun0", "00000000", "0003", 50, "00000000")
        << "tun0=50 wlan0=600";
    QTest::newRow("two on one interface: the lowest metric")
        << header + route("eth0", "00000000", "0003", 700, "00000000") +
               route("eth0", "00000000", "0003", 100, "00000000") +
               route("eth0", "00000000", "0003", 300, "00000000")
        << "eth0=100";
    QTest::newRow("route that is not up")
        << header + route("eth0", "00000000", "0002", 100, "00000000") << "";
    // OpenVPN covers the address space with 0.0.0.0/1 and 128.0.0.0/1 instead of a default route.
    QTest::newRow("half of the address space") << header + route("tun0", "00000000", "0003", 0, "00000080") +
                                                      route("tun0", "00000080", "0003", 0, "00000080")
                                               << "";
    QTest::newRow("garbage") << QByteArray("\n \neth0 00000000\n"
                                           "eth0\t00000000\t0\t0003\t0\t0\tmany\t00000000\n")
                             << "";
}

void TestTcpListener::defaultRoutesFromTheTable()
{
    QFETCH(QByteArray, table);
    QFETCH(QString, metrics);
    const QHash<QString, int> parsed = defaultRouteMetrics(table);
    QStringList found;
    for (auto it = parsed.cbegin(); it != parsed.cend(); ++it)
        found.append(it.key() + QLatin1Char('=') + QString::number(it.value()));
    found.sort();
    QCOMPARE(found.join(QLatin1Char(' ')), metrics);
}

QTEST_MAIN(TestTcpListener)
#include "tst_tcp_listener.moc"
