#include "support/console_fixture.h"

#include "platform/text_box.h"

#include <QComboBox>
#include <QPushButton>
#include <QTcpServer>

quint16 freeTcpPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::Any, 0))
        qFatal("no free TCP port");
    return probe.serverPort();
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
    window = std::make_unique<MainForm>(MainForm::Services{[this](int n) { return devices.value(n); }, skin,
                                                           messages, prompts, pause, clock});
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
