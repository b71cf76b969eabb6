#include "atpanel/at_panel.h"

#include "platform/input_box.h"
#include "platform/link_codec.h"
#include "platform/number_text.h"
#include "platform/pause.h"
#include "serial/serial_console.h"

namespace {
const QString kCrLf = QStringLiteral("\r\n");
const QString kQuote = QStringLiteral("\"");
} // namespace

const QString AtPanel::kTcpExampleAddress = QStringLiteral("192.168.1.100");

AtPanel::AtPanel(SerialConsole &console, InputBox &inputBox, Pause &pause, QObject *parent)
    : QObject(parent), m_console(console), m_inputBox(inputBox), m_pause(pause)
{}

void AtPanel::sendCommand(const QString &command)
{
    m_console.sendToModule(command + kCrLf);
}

void AtPanel::command8Click()
{
    sendCommand(QStringLiteral("AT"));
}
void AtPanel::command9Click()
{
    sendCommand(QStringLiteral("AT+GMR"));
}
void AtPanel::command10Click()
{
    sendCommand(QStringLiteral("AT+RST"));
}
void AtPanel::command12Click()
{
    sendCommand(QStringLiteral("AT+CWLAP"));
}
void AtPanel::command14Click()
{
    sendCommand(QStringLiteral("AT+CWQAP"));
}
void AtPanel::command15Click()
{
    sendCommand(QStringLiteral("AT+CIFSR"));
}
void AtPanel::command18Click()
{
    sendCommand(QStringLiteral("AT+CIPSTATUS"));
}
void AtPanel::command19Click()
{
    sendCommand(QStringLiteral("AT+CIPSERVER=0"));
}
void AtPanel::command20Click()
{
    sendCommand(QStringLiteral("AT+CIPCLOSE"));
}
void AtPanel::command21Click()
{
    sendCommand(QStringLiteral("AT+CIPMODE?"));
}

void AtPanel::command11Click()
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

void AtPanel::command13Click()
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

void AtPanel::command16Click()
{
    const QString endpoint = kQuote + kTcpExampleAddress + kQuote + QStringLiteral(",8266");
    const QString answer =
        m_inputBox.ask(QStringLiteral("请按格式输入连接信息") + kCrLf + QStringLiteral("例如：") + endpoint,
                       QStringLiteral("建立TCP连接"), endpoint);
    if (answer.size() > 8)
        sendCommand(QStringLiteral("AT+CIPSTART=") + kQuote + QStringLiteral("TCP") + kQuote +
                    QStringLiteral(",") + answer);
}

void AtPanel::command17Click()
{
    const QString answer = m_inputBox.ask(QStringLiteral("请输入要发送的内容"), QStringLiteral("发送TCP数据"),
                                          QStringLiteral("Tavrin出品，必属精品"));
    if (answer.isEmpty())
        return;
    // The module counts bytes on the line, not characters: a Chinese character takes two. Without
    // the code page there is no count to give; sending the data alone fails with its notice.
    LinkEncoder encoder;
    if (encoder.isValid()) {
        sendCommand(QStringLiteral("AT+CIPSEND=") + QString::number(encoder.encode(answer).size()));
        m_pause.pause(kDataPromptWait);
    }
    m_console.sendToModule(answer);
}
