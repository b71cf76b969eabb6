#pragma once

// Shared by the fuzz targets: turning fuzz bytes into text, and an independent reading of the number
// rules of platform/number_text.h to check the product against.

#include <QString>

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace fuzz {

// Odd bytes pick the encoding: UTF-8 (invalid sequences become U+FFFD) or raw UTF-16, which reaches
// every code unit: lone surrogates, full-width and Arabic-Indic digits, exotic blanks.
inline QString text(const uint8_t *data, size_t size)
{
    if (size == 0)
        return {};
    if (data[0] & 1)
        return QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    QString result;
    for (size_t i = 1; i + 1 < size; i += 2)
        result.append(QChar(char16_t(data[i] | data[i + 1] << 8)));
    return result;
}

// A number as a user types it: blanks around (what QString::trimmed() removes), an optional sign,
// ASCII digits with at most one point and at least one digit. Nothing else: no exponent, no
// separators, no other scripts' digits. Out of the range of a double: no number.
inline std::optional<double> decimal(const QString &typed)
{
    const QString trimmed = typed.trimmed();
    qsizetype i = 0;
    const bool negative = i < trimmed.size() && trimmed.at(i) == QLatin1Char('-');
    if (i < trimmed.size() && (trimmed.at(i) == QLatin1Char('+') || negative))
        ++i;
    const qsizetype start = i;
    qsizetype digits = 0;
    bool point = false;
    for (; i < trimmed.size(); ++i) {
        const char16_t c = trimmed.at(i).unicode();
        if (c >= u'0' && c <= u'9')
            ++digits;
        else if (c == u'.' && !point)
            point = true;
        else
            return std::nullopt;
    }
    if (digits == 0)
        return std::nullopt;
    const QByteArray ascii = trimmed.mid(start).toLatin1();
    double value = 0;
    const auto [end, error] = std::from_chars(ascii.constData(), ascii.constData() + ascii.size(), value);
    if (error != std::errc() || end != ascii.constData() + ascii.size())
        return std::nullopt;
    return negative ? -value : value;
}

// The port, if any, that such a number names: rounded half to even (or rounded down) and in
// [low, high]; 0 for none.
inline long inRange(std::optional<double> value, long low, long high, bool roundDown = false)
{
    const double whole = !value ? 0 : roundDown ? std::floor(*value) : std::nearbyint(*value);
    return value && whole >= low && whole <= high ? long(whole) : 0;
}

} // namespace fuzz
