#pragma once

#include <QString>

#include <optional>

// Numbers typed by the user: a decimal number with an optional sign and an optional fraction after
// a point, blanks around it allowed ("8266", " +2.5 ", ".5"). No exponents, no thousands separators,
// no locale: what a user types into a port or mode field, nothing more.
std::optional<double> parseDecimal(QStringView text);

// The value rounded to the nearest whole number, an exact half going to the even neighbour, if the
// result fits in 16 bits.
std::optional<qint16> toInt16(QStringView text);

// The value rounded down (the largest whole number not above it), if the result fits in 32 bits.
std::optional<qint32> floorToInt32(QStringView text);

// A baud rate as typed into the rate list: plain ASCII digits (leading zeros allowed) and nothing
// else, from 1 to 2^31 - 1.
std::optional<qint32> parseBaudRate(QStringView text);
