#pragma once

#include "pty_pair.h"
#include "support/console_fixture.h"

// The real window with a pseudo-terminal opened as its serial port, the way a user opens a module:
// pick the COM number, click open.
class SerialSession
{
public:
    SerialSession();

    PtyPair &pty() { return m_pty; }
    ConsoleFixture &fixture() { return m_fixture; }
    TextBox *receiveBox() const { return m_fixture.textBox("Text3"); }

private:
    static constexpr int kComNumber = 3;

    PtyPair m_pty; // outlives the window, which closes its end first
    ConsoleFixture m_fixture;
};
