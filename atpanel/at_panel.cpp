#include "atpanel/at_panel.h"

#include "platform/input_box.h"
#include "platform/number_text.h"
#include "platform/pause.h"
#include "platform/units.h"
#include "serial/serial_console.h"

namespace {
const QString kQuote = QStringLiteral("\"");
} // namespace

const QString AtPanel::kTcpExampleAddress = QStringLiteral("192.168.1.100");

const AtPanel::FixedCommand AtPanel::kFixedCommands[10] = {
    {"Command8", "AT"},              // is the module there
    {"Command9", "AT+GMR"},          // firmware version
    {"Command10", "AT+RST"},         // restart
    {"Command12", "AT+CWLAP"},       // list access points
    {"Command14", "AT+CWQAP"},       // leave the access point
    {"Command15", "AT+CIFSR"},       // the module's addresses
    {"Command18", "AT+CIPSTATUS"},   // TCP status
    {"Command19", "AT+CIPSERVER=0"}, // the module's own TCP server off
    {"Command20", "AT+CIPCLOSE"},    // close the TCP link
    {"Command21", "AT+CIPMODE?"},    // transfer mode
};

AtPanel::AtPanel(SerialConsole &console, InputBox &inputBox, Pause &pause, QObject *parent)
    : QObject(parent), m_console(console), m_inputBox(inputBox), m_pause(pause)
{}

void AtPanel::sendCommand(const QString &command)
{
    m_console.sendToModule(command + kCrLf);
}

void AtPanel::setWifiMode()
{
    const QString answer =
        m_inputBox.ask(QStringLiteral("1 ---> Station 模式") + kCrLf + QStringLiteral("2 ---> AP 模式") +
                           kCrLf + QStringLiteral("3 ---> AP兼Station模式"),
                       QStringLiteral("设置WIFI应用模式"), QStringLiteral("1"));
    // Anything that is not a number, or does not fit in 16 bits, is no mode: nothing is sent.
    const auto mode = toInt16(answer);
    if (mode && *mode >= 1 && *mode <= 3)
        sendCommand(QStringLiteral("AT+CWMODE=") + answer);
}

void AtPanel::joinAccessPoint()
{
    const QString answer =
        m_inputBox.ask(QStringLiteral("请输入要连接AP及密码") + kCrLf + QStringLiteral("按以下格式：") +
                           kCrLf + kQuote + QStringLiteral("TP_Link") + kQuote + QStringLiteral(",") +
                           kQuote + QStringLiteral("yourpass") + kQuote,
                       QStringLiteral("接入AP"),
                       kQuote + QStringLiteral("SSID") + kQuote + QStringLiteral(",") + kQuote +
                           QStringLiteral("yourpass") + kQuote);
    if (answer.size() > 5)
        sendCommand(QStringLiteral("AT+CWJAP=") + answer);
}

void AtPanel::openTcpConnection()
{
    const QString endpoint = kQuote + kTcpExampleAddress + kQuote + QStringLiteral(",8266");
    const QString answer =
        m_inputBox.ask(QStringLiteral("请按格式输入连接信息") + kCrLf + QStringLiteral("例如：") + endpoint,
                       QStringLiteral("建立TCP连接"), endpoint);
    if (answer.size() > 8)
        sendCommand(QStringLiteral("AT+CIPSTART=") + kQuote + QStringLiteral("TCP") + kQuote +
                    QStringLiteral(",") + answer);
}

void AtPanel::sendTcpData()
{
    const QString answer = m_inputBox.ask(QStringLiteral("请输入要发送的内容"), QStringLiteral("发送TCP数据"),
                                          QStringLiteral("Tavrin出品，必属精品"));
    if (answer.isEmpty())
        return;
    // The module counts bytes on the line, not characters: a Chinese character takes two. Without
    // the code page there is no count to give; sending the data alone fails with its notice.
    if (const auto length = m_console.encodedLength(answer)) {
        sendCommand(QStringLiteral("AT+CIPSEND=") + QString::number(*length));
        m_pause.pause(kDataPromptWait);
    }
    m_console.sendToModule(answer);
}
