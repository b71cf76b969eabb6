#include "tcp_session.h"

#include <QLineEdit>
#include <QPushButton>

TcpSession::TcpSession()
{
    m_fixture.start();
    m_port = freeTcpPort();
    m_fixture.find<QLineEdit>("Text2")->setText(QString::number(m_port));
    m_fixture.click("Command3");
    if (m_fixture.button("Command3")->text() != QStringLiteral("关闭监听"))
        qFatal("the console is not listening on port %d", m_port);
}
