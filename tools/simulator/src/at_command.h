#pragma once

#include <QByteArray>
#include <QByteArrayList>

#include <optional>

// One command line split the way the firmware reads it: "AT" + name, then nothing (execute), "?" (query),
// "=?" (test) or "=" and comma-separated parameters (set).
class AtCommand
{
public:
    enum class Kind { Execute, Query, Test, Set };

    // Empty for a line that does not start with "AT" or has an unterminated string parameter.
    static std::optional<AtCommand> parse(const QByteArray &line);

    const QByteArray &name() const { return m_name; }
    Kind kind() const { return m_kind; }
    const QByteArrayList &arguments() const { return m_arguments; }

    // The parameter as a decimal number, empty when missing or not made of digits only.
    std::optional<int> intArgument(int index) const;

private:
    static std::optional<QByteArrayList> splitArguments(const QByteArray &text);

    QByteArray m_name;
    Kind m_kind = Kind::Execute;
    QByteArrayList m_arguments;
};
