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
        QStringView data = pieces.at(i);
        if (!data.endsWith(kCrLf))
            return false;
        // A CR LF split between two reads is logged as the CR's line break at the end of one entry and
        // the LF's at the start of the next. The flood has no empty lines, so an entry that starts with
        // a line break goes on from a split one.
        if (data.startsWith(kCrLf) && received.endsWith(kCrLf))
            data = data.sliced(2);
        received += data.chopped(2);
    }
    return received == payload;
}

qsizetype TcpLog::entries(const QString &log, const QString &timestamp)
{
    return log.count(timestamp + kCrLf);
}
