#include "line_framer.h"

#include <algorithm>
#include <utility>

namespace {

// The firmware's command buffer is small; anything longer cannot be a valid command anyway.
constexpr qsizetype kMaxLineLength = 1024;

} // namespace

LineFramer::LineFramer(bool echo, QObject *parent) : QObject(parent), m_echo(echo) {}

void LineFramer::expectData(int count)
{
    m_dataRemaining = std::max(count, 0);
    m_data.clear();
}

void LineFramer::feed(const QByteArray &bytes)
{
    // Handlers of lineReceived() may switch echo or ask for raw data, so the mode is looked at byte by byte.
    QByteArray echo;
    for (qsizetype index = 0; index < bytes.size(); ++index) {
        const char byte = bytes.at(index);
        // The LF of a CR LF pair belongs to the line just ended, even when raw data follows it.
        if (std::exchange(m_swallowLf, false) && byte == '\n')
            continue;
        if (m_dataRemaining > 0) {
            takeData(bytes, index, echo);
            continue;
        }
        if (byte == '\r' || byte == '\n') {
            // The 1.x firmware echoes the CR (never the LF) and then starts a new line of its own.
            if (m_echo)
                echo += byte == '\r' ? QByteArrayLiteral("\r\r\n") : QByteArrayLiteral("\r\n");
            m_swallowLf = byte == '\r';
            flushEcho(echo);
            emit lineReceived(std::exchange(m_line, {}));
            continue;
        }
        if (m_echo)
            echo += byte;
        if (m_line.size() < kMaxLineLength)
            m_line += byte;
    }
    flushEcho(echo);
}

void LineFramer::takeData(const QByteArray &bytes, qsizetype &index, QByteArray &echo)
{
    const qsizetype count = std::min<qsizetype>(m_dataRemaining, bytes.size() - index);
    m_data += bytes.mid(index, count);
    m_dataRemaining -= int(count);
    index += count - 1;
    if (m_dataRemaining == 0) {
        flushEcho(echo);
        emit dataReceived(std::exchange(m_data, {}));
    }
}

void LineFramer::flushEcho(QByteArray &echo)
{
    if (!echo.isEmpty())
        emit echoProduced(std::exchange(echo, {}));
}
