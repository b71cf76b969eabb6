#include "figures.h"

#include <QStringList>

namespace {
const QString kPrefix = QStringLiteral("figure ");
}

QString Figures::toText() const
{
    QString text;
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
        text +=
            kPrefix + it.key() + QLatin1Char(' ') + QString::number(it.value(), 'g', 10) + QLatin1Char('\n');
    return text;
}

Figures Figures::fromText(const QString &text)
{
    Figures figures;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QStringList fields = line.trimmed().split(QLatin1Char(' '));
        if (fields.size() == 3 && fields.first() + QLatin1Char(' ') == kPrefix)
            figures.set(fields.at(1), fields.at(2).toDouble());
    }
    return figures;
}
