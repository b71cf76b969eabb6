#pragma once

#include "textbox/text_key_map.h"

#include <QtGlobal>

#include <utility>

class LineLayouts;
class TextStore;

// Where a caret goes: along a line by grapheme or by word (and over the line break at either end),
// up and down keeping its x, a page at a time, to either end of the text.
class CaretMoves
{
public:
    CaretMoves(const TextStore &store, LineLayouts &layouts);

    // preferredX is the x that vertical moves keep; pass a negative one to start from `from`.
    qsizetype target(qsizetype from, TextKeyMap::Move move, qsizetype pageLines, qreal &preferredX) const;
    qreal xOf(qsizetype position) const;
    qsizetype atX(qsizetype line, qreal x) const;
    // The word (or run of spaces) around a position, as [start, end).
    std::pair<qsizetype, qsizetype> wordAround(qsizetype position) const;

private:
    qsizetype alongLine(qsizetype from, TextKeyMap::Move move) const;
    qsizetype acrossLines(qsizetype from, qsizetype lines, qreal &preferredX) const;

    const TextStore &m_store;
    LineLayouts &m_layouts;
};
