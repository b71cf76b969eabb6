#include "tcpserver/tcp_listener.h"

#include "platform/message_box.h"
#include "platform/number_text.h"

#include <QLineEdit>
#include <QPushButton>

TcpListener::TcpListener(const Controls &controls, TcpServer &server, MessageBox &messageBox, QObject *parent)
    : QObject(parent), m_controls(controls), m_server(server), m_messageBox(messageBox)
{
    connect(&m_server, &TcpServer::stateChanged, this, &TcpListener::showState);
}

void TcpListener::toggleListening()
{
    if (m_server.state() != TcpServer::State::Idle) {
        m_server.stop();
        return;
    }
    // No number is no port: the server refuses 0 as it refuses any port outside 1 to 65535.
    m_server.listen(floorToInt32(m_controls.portEdit->text()).value_or(0));
}

void TcpListener::showState(TcpServer::State state)
{
    switch (state) {
    case TcpServer::State::Idle:
        m_controls.listenButton->setText(QStringLiteral("开启监听"));
        break;
    case TcpServer::State::Listening:
        m_controls.listenButton->setText(QStringLiteral("关闭监听"));
        break;
    case TcpServer::State::Failed:
        m_messageBox.show(QStringLiteral("开启出错"), MessageBox::Icon::Warning);
        m_controls.listenButton->setText(QStringLiteral("开启服务"));
        break;
    }
}
