#include "tcpserver/tcp_console.h"

#include "platform/clock.h"
#include "platform/message_box.h"
#include "tcpserver/socket.h"
#include "textbox/text_box.h"

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

TcpConsole::TcpConsole(const Controls &controls, Socket &winsock, MessageBox &messageBox, const Clock &clock,
                       QObject *parent)
    : QObject(parent), m_controls(controls), m_winsock(winsock), m_messageBox(messageBox), m_clock(clock)
{}

void TcpConsole::winsock1ConnectionRequest(qint32 requestID)
{
    // Accepting on the listening endpoint itself: it stops listening, so one client at a time.
    if (m_winsock.state() != Socket::kStateClosed)
        m_winsock.close();
    if (m_winsock.accept(requestID))
        appendEntry(QStringLiteral("新客户端接入"));
}

void TcpConsole::winsock1DataArrival(qint64 /*bytesTotal*/)
{
    // A block holding only the first half of a two-byte character decodes to nothing yet; the
    // character is logged whole with the next block.
    const QString data = m_winsock.getData();
    if (!data.isEmpty())
        appendEntry(data);
}

void TcpConsole::winsock1PeerClosed()
{
    appendEntry(QStringLiteral("客户端断开"));
}

void TcpConsole::command6Click()
{
    if (!m_winsock.sendData(m_controls.text6->text()))
        m_messageBox.show(QStringLiteral("发送失败！"), MessageBox::Icon::Error);
}

void TcpConsole::command7Click()
{
    m_controls.text5->setText(QString());
    m_controls.text6->setText(QString());
}

void TcpConsole::appendEntry(const QString &text)
{
    // In three parts: joining them first would copy every arrival of a flood once more.
    const QString timestamp = m_clock.now().toString(QStringLiteral("yy-MM-dd HH:mm:ss"));
    m_controls.text5->append(timestamp + kCrLf, TextBox::Caret::Keep);
    m_controls.text5->append(text, TextBox::Caret::Keep);
    m_controls.text5->append(kCrLf, TextBox::Caret::Keep);
}
