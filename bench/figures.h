#pragma once

#include <QMap>
#include <QString>

// What one run of a case measured, as named numbers. A case prints them as "figure <name> <value>"
// lines; the driver reads them back from the child's output.
class Figures
{
public:
    void set(const QString &name, double value) { m_values.insert(name, value); }
    double value(const QString &name) const { return m_values.value(name, -1); }
    bool has(const QString &name) const { return m_values.contains(name); }
    QList<QString> names() const { return m_values.keys(); }

    QString toText() const;
    static Figures fromText(const QString &text);

private:
    QMap<QString, double> m_values;
};
