#pragma once

#include <QString>

// Turns the line breaks of text as it comes - CR LF, a lone CR, a lone LF, and the Unicode line and
// paragraph separators - into the one '\n' a box stores. A CR LF pair split between two pieces is
// still one break: an LF opening a piece right after a piece that ended in CR is dropped.
class LineBreaks
{
public:
    QString normalize(QStringView piece);
    // What the next piece follows: text ending in CR or not.
    void restart(bool afterCr) { m_afterCr = afterCr; }

private:
    bool m_afterCr = false;
    QString m_result;
};
