#include "at_command.h"

#include <algorithm>
#include <utility>

namespace {

// Keeps toInt() far from overflow; no parameter of the commands we answer needs more digits.
constexpr qsizetype kMaxDigits = 9;

} // namespace

std::optional<AtCommand> AtCommand::parse(const QByteArray &line)
{
    if (!line.startsWith("AT"))
        return std::nullopt;

    AtCommand command;
    const QByteArray rest = line.mid(2);
    const auto separator =
        std::find_if(rest.begin(), rest.end(), [](char c) { return c == '=' || c == '?'; });
    if (separator == rest.end()) {
        command.m_name = rest;
        return command;
    }

    const qsizetype end = separator - rest.begin();
    command.m_name = rest.left(end);
    const QByteArray tail = rest.mid(end);
    if (tail == "?") {
        command.m_kind = Kind::Query;
    } else if (tail == "=?") {
        command.m_kind = Kind::Test;
    } else if (tail.startsWith('=')) {
        command.m_kind = Kind::Set;
        std::optional<QByteArrayList> arguments = splitArguments(tail.mid(1));
        if (!arguments)
            return std::nullopt;
        command.m_arguments = *std::move(arguments);
    } else {
        // Something after a '?', e.g. "AT+CWMODE?1": not a form the firmware knows; keep it unmatchable.
        command.m_name = rest;
    }
    return command;
}

std::optional<int> AtCommand::intArgument(int index) const
{
    if (index < 0 || index >= m_arguments.size())
        return std::nullopt;
    const QByteArray &text = m_arguments.at(index);
    if (text.isEmpty() || text.size() > kMaxDigits)
        return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return text.toInt();
}

std::optional<QByteArrayList> AtCommand::splitArguments(const QByteArray &text)
{
    // Strings are in double quotes; a backslash takes the next byte literally, so SSIDs and keys can hold
    // quotes and commas.
    QByteArrayList arguments;
    QByteArray current;
    bool quoted = false;
    for (qsizetype index = 0; index < text.size(); ++index) {
        const char byte = text.at(index);
        if (quoted && byte == '\\' && index + 1 < text.size()) {
            current += text.at(++index);
        } else if (byte == '"') {
            quoted = !quoted;
        } else if (byte == ',' && !quoted) {
            arguments.append(std::exchange(current, {}));
        } else {
            current += byte;
        }
    }
    if (quoted)
        return std::nullopt;
    arguments.append(current);
    return arguments;
}
