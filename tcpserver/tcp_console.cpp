#include "tcpserver/tcp_console.h"

#include "platform/clock.h"
#include "platform/message_box.h"
#include "tcpserver/socket.h"
#include "textbox/text_box.h"

#include <utility>

namespace {
const QString kCrLf = QStringLiteral("\r\n");
constexpr qint64 kMegabyte = 1024 * 1024;
// What an entry adds besides its text, in characters: the timestamp and two line breaks.
constexpr qint64 kEntryCharacters = 32;
} // namespace

TcpConsole::TcpConsole(const Controls &controls, Socket &winsock, MessageBox &messageBox, const Clock &clock,
                       qint64 ceiling, QObject *parent)
    : QObject(parent), m_controls(controls), m_winsock(winsock), m_messageBox(messageBox), m_clock(clock),
      m_ceiling(ceiling)
{}

void TcpConsole::winsock1ConnectionRequest(qint32 requestID)
{
    // A full log takes nothing new: a client asking now is refused, one who was held keeps its data.
    if (m_holding)
        return;
    // Accepting on the listening endpoint itself: it stops listening, so one client at a time.
    if (m_winsock.state() != Socket::State::Closed)
        m_winsock.close();
    if (m_winsock.accept(requestID))
        appendEntry(QStringLiteral("新客户端接入"));
}

void TcpConsole::winsock1DataArrival(qint64 bytesTotal)
{
    // Left unread, the data stays with the connection and TCP holds the client back: nothing is lost.
    if (m_holding || !roomFor(bytesTotal)) {
        hold();
        return;
    }
    // A block holding only the first half of a two-byte character decodes to nothing yet; the
    // character is logged whole with the next block.
    const QString data = m_winsock.getData();
    if (!data.isEmpty())
        appendEntry(data);
}

void TcpConsole::winsock1PeerClosed()
{
    if (m_holding) {
        // The connection goes now; what it had delivered (one read's worth at most) waits here.
        m_leftover = m_winsock.getData();
        m_leftWhileHolding = true;
        return;
    }
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
    resume();
}

void TcpConsole::appendEntry(const QString &text)
{
    // In three parts: joining them first would copy every arrival of a flood once more.
    const QString timestamp = m_clock.now().toString(QStringLiteral("yy-MM-dd HH:mm:ss"));
    m_controls.text5->append(timestamp + kCrLf, TextBox::Caret::Keep);
    m_controls.text5->append(text, TextBox::Caret::Keep);
    m_controls.text5->append(kCrLf, TextBox::Caret::Keep);
}

bool TcpConsole::roomFor(qint64 bytes) const
{
    // A byte received is at most one character of text.
    return m_controls.text5->heldBytesAfterAppending(bytes + kEntryCharacters) <= m_ceiling;
}

void TcpConsole::hold()
{
    if (std::exchange(m_holding, true))
        return;
    m_messageBox.show(QStringLiteral("TCP接收内容已达 %1 MB 上限，已暂停接收；清空后继续。").arg(m_ceiling / kMegabyte),
                      MessageBox::Icon::Warning);
}

void TcpConsole::resume()
{
    if (!std::exchange(m_holding, false))
        return;
    if (m_leftWhileHolding) {
        m_leftWhileHolding = false;
        if (!m_leftover.isEmpty())
            appendEntry(std::exchange(m_leftover, QString()));
        appendEntry(QStringLiteral("客户端断开"));
    } else if (const qint64 held = m_winsock.bytesAvailable(); held > 0) {
        // The connection says nothing new until it is read: what it holds is taken now.
        winsock1DataArrival(held);
    }
}
