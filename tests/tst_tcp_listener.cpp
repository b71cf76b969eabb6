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
    // The number rounded down must be a TCP port; the grammar itself is tst_port_control's numberTexts.
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
    // name, IPv4 addresses, up, loopback, default route
    const LocalInterface lo{"lo", {"127.0.0.1"}, true, true, false};
    const LocalInterface bridge{"docker0", {"172.17.0.1"}, true, false, false};
    const LocalInterface wired{"enp3s0", {"10.0.0.5"}, true, false, false};
    const LocalInterface wifi{"wlp2s0", {"192.168.1.20", "192.168.1.21"}, true, false, false};
    const auto routed = [](LocalInterface interface) {
        interface.defaultRoute = true;
        return interface;
    };
    QTest::newRow("default route on the second interface")
        << LocalInterfaces{wired, routed(wifi)} << "192.168.1.20";
    QTest::newRow("bridge listed first") << LocalInterfaces{lo, bridge, routed(wifi)} << "192.168.1.20";
    QTest::newRow("VPN carries the default route")
        << LocalInterfaces{routed({"tun0", {"10.8.0.2"}, true, false, false}), wired} << "10.0.0.5";
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

QTEST_MAIN(TestTcpListener)
#include "tst_tcp_listener.moc"
