#pragma once

#include <QString>

// Turns the line breaks of text as it comes - CR LF, a lone CR, a lone LF, and the Unicode line and
// paragraph separators - into the one '\n' a box stores. CR CR LF is one break too: a module running
// AT firmware echoes a command as "AT" CR CR LF, and a terminal or a Windows edit control shows one
// break there. A CR followed by anything but CR or LF breaks the line on its own.
//
// Pieces of a stream may split any of these: an LF opening a piece right after a piece that ended in
// CR is dropped, and a second CR ending a piece waits for the next piece to tell whether an LF
// follows it.
class LineBreaks
{
public:
    // What the text so far ended in.
    enum class After { Text, Cr, CrCr };

    QString normalize(QStringView piece);
    // A text that is complete in itself (set, pasted, typed): nothing waits for a next piece.
    static QString whole(const QString &text);

    After after() const { return m_after; }
    void restart(After after) { m_after = after; }

private:
    After m_after = After::Text;
    QString m_result;
};
