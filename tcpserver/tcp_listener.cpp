#include "tcpserver/tcp_listener.h"

#include "platform/message_box.h"
#include "platform/number_text.h"
#include "tcpserver/socket.h"

#include <QLineEdit>
#include <QPushButton>

namespace {
const QString kCaptionStart = QStringLiteral("开启监听");
const QString kCaptionStop = QStringLiteral("关闭监听");
const QString kCaptionFailed = QStringLiteral("开启服务");
} // namespace

TcpListener::TcpListener(const Controls &controls, Socket &winsock, MessageBox &messageBox, QObject *parent)
    : QObject(parent), m_controls(controls), m_winsock(winsock), m_messageBox(messageBox)
{}

void TcpListener::command3Click()
{
    if (m_controls.command3->text() != kCaptionStart) {
        m_winsock.close();
        m_controls.command3->setText(kCaptionStart);
        m_controls.command6->setEnabled(false);
        return;
    }

    const auto port = floorToInt32(m_controls.text2->text());
    if (!port || !m_winsock.setLocalPort(*port) || !m_winsock.listen()) {
        startFailed();
        return;
    }
    m_controls.command3->setText(kCaptionStop);
    m_controls.command6->setEnabled(true);
}

void TcpListener::winsock1PeerClosed()
{
    m_winsock.close();
    if (!m_winsock.listen())
        startFailed();
}

void TcpListener::startFailed()
{
    m_messageBox.show(QStringLiteral("开启出错"), MessageBox::Icon::Warning);
    m_controls.command3->setText(kCaptionFailed);
}
