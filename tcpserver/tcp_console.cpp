#include "tcpserver/tcp_console.h"

#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/units.h"
#include "textbox/text_box.h"

#include <QPushButton>

namespace {
// What an entry adds besides its text, in characters: the timestamp and two line breaks.
constexpr qint64 kEntryCharacters = 32;
} // namespace

TcpConsole::TcpConsole(const Controls &controls, TcpServer &server, MessageBox &messageBox,
                       const Clock &clock, qint64 ceiling, QObject *parent)
    : QObject(parent), m_controls(controls), m_server(server), m_messageBox(messageBox), m_clock(clock),
      m_ceiling(ceiling)
{
    connect(&m_server, &TcpServer::clientConnected, this, &TcpConsole::logClientConnected);
    connect(&m_server, &TcpServer::aboutToReceive, this, &TcpConsole::holdIfFull);
    connect(&m_server, &TcpServer::received, this, &TcpConsole::logReceived);
    connect(&m_server, &TcpServer::clientLeft, this, &TcpConsole::logClientLeft);
    connect(&m_server, &TcpServer::stateChanged, this, &TcpConsole::serverStateChanged);
}

void TcpConsole::sendTcpText()
{
    if (!m_server.send(m_controls.sendBox->text()))
        m_messageBox.show(QStringLiteral("发送失败！"), MessageBox::Icon::Error);
}

void TcpConsole::clearTcp()
{
    m_controls.logBox->setText(QString());
    m_controls.sendBox->setText(QString());
    m_server.resumeReading();
}

void TcpConsole::logClientConnected()
{
    appendEntry(QStringLiteral("新客户端接入"));
}

void TcpConsole::holdIfFull(qint64 bytes)
{
    // A byte received is at most one character of text.
    if (m_controls.logBox->heldBytesAfterAppending(bytes + kEntryCharacters) <= m_ceiling)
        return;
    // Left unread, the data stays with the connection and TCP holds the client back: nothing is lost.
    m_server.pauseReading();
    m_messageBox.show(
        QStringLiteral("TCP接收内容已达 %1 MB 上限，已暂停接收；清空后继续。").arg(m_ceiling / kMegabyte),
        MessageBox::Icon::Warning);
}

void TcpConsole::logReceived(const QString &text)
{
    appendEntry(text);
}

void TcpConsole::logClientLeft()
{
    appendEntry(QStringLiteral("客户端断开"));
}

void TcpConsole::serverStateChanged(TcpServer::State state)
{
    // A server that fails to listen again after its client left leaves the button as it was: a send
    // then reports its failure.
    if (state != TcpServer::State::Failed)
        m_controls.sendButton->setEnabled(state == TcpServer::State::Listening);
}

void TcpConsole::appendEntry(const QString &text)
{
    // In three parts: joining them first would copy every arrival of a flood once more.
    const QString timestamp = m_clock.now().toString(QStringLiteral("yy-MM-dd HH:mm:ss"));
    m_controls.logBox->append(timestamp + kCrLf, TextBox::Caret::Keep);
    m_controls.logBox->append(text, TextBox::Caret::Keep);
    m_controls.logBox->append(kCrLf, TextBox::Caret::Keep);
}
