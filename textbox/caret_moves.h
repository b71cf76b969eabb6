#pragma once

#include "textbox/text_key_map.h"

#include <QtGlobal>

#include <utility>

class LineLayouts;
class TextStore;

// Where a caret goes: along a line by grapheme or by word (and over the line break at either end),
// up and down keeping its x, a page at a time, to either end of the text. On a line too long to lay
// out whole, steps and words are found in a stretch around the caret and x by the font's advances.
class CaretMoves
{
public:
    // How far around a position a long line is read to find its graphemes and words.
    static constexpr qsizetype kReach = 256;

    CaretMoves(const TextStore &store, LineLayouts &layouts);

    // preferredX is the x that vertical moves keep; pass a negative one to start from `from`.
    qsizetype target(qsizetype from, TextKeyMap::Move move, qsizetype pageLines, qreal &preferredX) const;
    qreal xOf(qsizetype position) const;
    qsizetype atX(qsizetype line, qreal x) const;
    // The word (or run of spaces) around a position, as [start, end).
    std::pair<qsizetype, qsizetype> wordAround(qsizetype position) const;
    // The part of the line holding `position` that is read around it: [start, end).
    std::pair<qsizetype, qsizetype> reachAround(qsizetype position, qsizetype reach) const;

private:
    qsizetype alongLine(qsizetype from, TextKeyMap::Move move) const;
    qsizetype acrossLines(qsizetype from, qsizetype lines, qreal &preferredX) const;

    const TextStore &m_store;
    LineLayouts &m_layouts;
};
