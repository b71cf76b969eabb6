#pragma once

#include <QString>

// Reads back the TCP log box: entries of a timestamp line, the text, and a line break.
class TcpLog
{
public:
    // The log of one connection that sent `payload` in any number of blocks, between the
    // connection and disconnection entries, all under the same timestamp.
    static bool holdsExactly(const QString &log, const QString &timestamp, const QString &payload);
    // How many entries the log holds.
    static qsizetype entries(const QString &log, const QString &timestamp);
};
