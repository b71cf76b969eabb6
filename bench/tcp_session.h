#pragma once

#include "support/console_fixture.h"

// The real window listening for the module on a free loopback port, as after clicking "开启监听".
class TcpSession
{
public:
    TcpSession();

    ConsoleFixture &fixture() { return m_fixture; }
    TextBox *logBox() const { return m_fixture.textBox("Text5"); }
    quint16 port() const { return m_port; }

private:
    ConsoleFixture m_fixture;
    quint16 m_port = 0;
};
