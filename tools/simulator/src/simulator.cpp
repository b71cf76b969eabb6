#include "simulator.h"

#include <iterator>

namespace {

// What a console at the wrong rate makes of the module's answers: bytes with framing errors, mostly
// high values. The exact values do not matter, only that they are not readable text.
constexpr unsigned char kGarbage[] = {0xf8, 0x80, 0x9c, 0xe0, 0x1c, 0xfc, 0x86, 0xf0, 0x00, 0x8e, 0xfe};
constexpr int kGarbagePerLine = 5;

} // namespace

Simulator::Simulator(const SimulatorOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_framer(options.echo), m_module(options)
{
    connect(&m_pty, &PtyDevice::dataReceived, this, &Simulator::onPtyData);
    connect(&m_framer, &LineFramer::echoProduced, &m_pty, &PtyDevice::write);
    connect(&m_framer, &LineFramer::lineReceived, &m_module, &ModuleEmulator::handleLine);
    connect(&m_framer, &LineFramer::dataReceived, &m_module, &ModuleEmulator::handleData);
    connect(&m_module, &ModuleEmulator::output, &m_pty, &PtyDevice::write);
    connect(&m_module, &ModuleEmulator::echoChanged, &m_framer, &LineFramer::setEcho);
    connect(&m_module, &ModuleEmulator::dataExpected, &m_framer, &LineFramer::expectData);
}

bool Simulator::start(QString *errorMessage)
{
    return m_pty.open(m_options.baud, errorMessage);
}

void Simulator::onPtyData(const QByteArray &bytes)
{
    if (lineRateMatches()) {
        m_framer.feed(bytes);
        return;
    }
    // At the wrong rate the module hears noise and the console hears noise back; one burst per line
    // end keeps the amount of it proportional to what the user typed.
    char previous = 0;
    for (const char byte : bytes) {
        if (byte == '\r' || (byte == '\n' && previous != '\r'))
            m_pty.write(garbage());
        previous = byte;
    }
}

bool Simulator::lineRateMatches() const
{
    return m_pty.lineBaud() == m_options.baud;
}

QByteArray Simulator::garbage()
{
    QByteArray bytes;
    for (int count = 0; count < kGarbagePerLine; ++count) {
        bytes += char(kGarbage[m_garbageIndex]);
        m_garbageIndex = (m_garbageIndex + 1) % int(std::size(kGarbage));
    }
    return bytes;
}
