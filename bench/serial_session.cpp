#include "serial_session.h"

SerialSession::SerialSession()
{
    m_fixture.devices.insert(kComNumber, m_pty.slavePath());
    m_fixture.start();
    m_fixture.openPort(kComNumber);
}
