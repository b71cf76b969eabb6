#include "support/console_fixture.h"

#include "serial/serial_link.h"
#include "textbox/text_box.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

#include <sys/resource.h>

quint16 freeTcpPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::Any, 0))
        qFatal("no free TCP port");
    return probe.serverPort();
}

std::unique_ptr<QTcpSocket> connectClient(quint16 port)
{
    auto client = std::make_unique<QTcpSocket>();
    client->connectToHost(QHostAddress::LocalHost, port);
    if (!client->waitForConnected(5000))
        qFatal("client could not connect");
    return client;
}

ConsoleFixture::ConsoleFixture() = default;
ConsoleFixture::~ConsoleFixture() = default;

Pty &ConsoleFixture::addPort(int number)
{
    auto &pty = ptys[number];
    pty = std::make_unique<Pty>();
    devices.insert(number, pty->slavePath());
    return *pty;
}

MainForm &ConsoleFixture::start()
{
    const DeviceFacts facts{[this](const QString &path) { return !deniedDevices.contains(path); },
                            [this](const QString &path) { return deviceDetails.value(path); }, holders};
    MainForm::Services services{[this](int n) { return devices.value(n); },
                                skin,
                                messages,
                                prompts,
                                pause,
                                clock,
                                facts,
                                localInterfaces};
    services.receiveCeiling = receiveCeiling.value_or(services.receiveCeiling);
    window = std::make_unique<MainForm>(services);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qFatal("window not exposed");
    return *window;
}

QPushButton *ConsoleFixture::button(const char *name) const
{
    return find<QPushButton>(name);
}

TextBox *ConsoleFixture::textBox(const char *name) const
{
    return find<TextBox>(name);
}

void ConsoleFixture::click(const char *name)
{
    QTest::mouseClick(button(name), Qt::LeftButton);
}

void ConsoleFixture::openPort(int number)
{
    auto *combo1 = find<QComboBox>("Combo1");
    combo1->setCurrentIndex(combo1->findText(QStringLiteral("COM%1").arg(number)));
    click("Command1");
    if (button("Command1")->text() != QStringLiteral("关闭"))
        qFatal("COM%d did not open", number);
}

quint16 ConsoleFixture::startServer()
{
    const quint16 port = freeTcpPort();
    find<QLineEdit>("Text2")->setText(QString::number(port));
    click("Command3");
    if (button("Command3")->text() != QStringLiteral("关闭监听"))
        qFatal("the server did not start on port %d", port);
    return port;
}

void ConsoleFixture::verifyPortClosed() const
{
    QCOMPARE(button("Command1")->text(), QStringLiteral("打开"));
    QVERIFY(button("Command2")->isEnabled());
    QVERIFY(find<QComboBox>("Combo1")->isEnabled());
    QVERIFY(!button("Command4")->isEnabled());
    QVERIFY(!find<SerialLink>("serialLink")->isOpen());
}

void ConsoleFixture::awaitStartUpWork() const
{
    const QList<TextBox *> boxes = window->findChildren<TextBox *>();
    const bool over = QTest::qWaitFor(
        [&boxes] {
            return std::none_of(boxes.begin(), boxes.end(),
                                [](const TextBox *box) { return box->measuringAhead(); });
        },
        60000);
    if (!over)
        qFatal("the window's start-up work never ended");
}

std::chrono::milliseconds ConsoleFixture::cpuWhileIdle() const
{
    awaitStartUpWork();
    const auto cpu = [] {
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        const auto ms = [](const timeval &t) { return qint64(t.tv_sec) * 1000 + t.tv_usec / 1000; };
        return std::chrono::milliseconds(ms(usage.ru_utime) + ms(usage.ru_stime));
    };
    const auto before = cpu();
    QTest::qWait(500); // watching the window on its own, not waiting for anything
    return cpu() - before;
}
