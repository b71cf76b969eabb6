#include "tcp_log.h"

#include <QStringList>

namespace {
const QString kCrLf = QStringLiteral("\r\n");
}

bool TcpLog::holdsExactly(const QString &log, const QString &timestamp, const QString &payload)
{
    // The payload holds no timestamp, so every occurrence of one starts an entry.
    const QStringList pieces = log.split(timestamp + kCrLf);
    if (pieces.size() < 3 || !pieces.first().isEmpty() ||
        pieces.at(1) != QStringLiteral("新客户端接入\r\n") ||
        pieces.last() != QStringLiteral("客户端断开\r\n"))
        return false;
    QString received;
    received.reserve(payload.size());
    for (qsizetype i = 2; i < pieces.size() - 1; ++i) {
        if (!pieces.at(i).endsWith(kCrLf))
            return false;
        received += QStringView(pieces.at(i)).chopped(2);
    }
    return received == payload;
}

qsizetype TcpLog::entries(const QString &log, const QString &timestamp)
{
    return log.count(timestamp + kCrLf);
}
