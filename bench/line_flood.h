#pragma once

#include <QByteArray>

// The flood a module in a boot loop or a log dump sends: 80-byte lines (78 visible characters and
// CR LF), each starting with its own number so that a lost or reordered byte shows. Any stretch of
// it can be produced on its own, so a writer never needs the whole flood in memory.
class LineFlood
{
public:
    static constexpr qint64 kLineBytes = 80;
    static constexpr qint64 kMiB = 1 << 20;

    // The smallest whole number of lines holding at least `bytes`.
    static constexpr qint64 wholeLines(qint64 bytes)
    {
        return (bytes + kLineBytes - 1) / kLineBytes * kLineBytes;
    }

    // Bytes [offset, offset + size) of the endless flood.
    QByteArray bytes(qint64 offset, qint64 size) const;
    void fill(char *out, qint64 offset, qint64 size) const;

    // How many characters a text box holds for bytes [offset, offset + size): each CR LF is one
    // line break.
    static qint64 boxCharacters(qint64 offset, qint64 size);
};
