#include "platform/number_text.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

std::optional<double> parseDecimal(QStringView text)
{
    static const QRegularExpression decimal(QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)$)"));
    const QString trimmed = text.trimmed().toString();
    if (!decimal.match(trimmed).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok) // too many digits for a double
        return std::nullopt;
    return value;
}

namespace {
template <typename Int> std::optional<Int> fitting(double value)
{
    if (value < std::numeric_limits<Int>::min() || value > std::numeric_limits<Int>::max())
        return std::nullopt;
    return static_cast<Int>(value);
}
} // namespace

std::optional<qint16> toInt16(QStringView text)
{
    const auto value = parseDecimal(text);
    if (!value)
        return std::nullopt;
    // nearbyint rounds half to even in the default rounding mode.
    return fitting<qint16>(std::nearbyint(*value));
}

std::optional<qint32> floorToInt32(QStringView text)
{
    const auto value = parseDecimal(text);
    if (!value)
        return std::nullopt;
    return fitting<qint32>(std::floor(*value));
}

std::optional<qint32> parseBaudRate(QStringView text)
{
    if (text.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
        if (value > std::numeric_limits<qint32>::max())
            return std::nullopt;
    }
    if (value == 0)
        return std::nullopt;
    return static_cast<qint32>(value);
}
