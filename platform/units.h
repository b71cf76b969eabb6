#pragma once

#include <QString>

#include <algorithm>
#include <limits>

// The line break the module's AT firmware expects after a command, and that the TCP log puts between
// its entries.
inline const QString kCrLf = QStringLiteral("\r\n");

// Notices state the receive ceiling in these.
inline constexpr qint64 kMegabyte = 1024 * 1024;

// Offsets reach Qt's widget and accessibility interfaces as int; past two thousand million a value
// reads as the largest int there.
inline int clampedInt(qsizetype value)
{
    return int(std::min<qsizetype>(value, std::numeric_limits<int>::max()));
}
