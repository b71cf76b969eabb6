#include "textbox/caret_moves.h"

#include "textbox/line_layouts.h"
#include "textbox/text_store.h"

#include <QTextBoundaryFinder>

#include <algorithm>

using Move = TextKeyMap::Move;

CaretMoves::CaretMoves(const TextStore &store, LineLayouts &layouts) : m_store(store), m_layouts(layouts) {}

qsizetype CaretMoves::target(qsizetype from, Move move, qsizetype pageLines, qreal &preferredX) const
{
    const qsizetype line = m_store.lineOf(from);
    switch (move) {
    case Move::Up:
        return acrossLines(from, -1, preferredX);
    case Move::Down:
        return acrossLines(from, 1, preferredX);
    case Move::PageUp:
        return acrossLines(from, -pageLines, preferredX);
    case Move::PageDown:
        return acrossLines(from, pageLines, preferredX);
    case Move::LineStart:
        return m_store.lineStart(line);
    case Move::LineEnd:
        return m_store.lineStart(line) + m_store.lineLength(line);
    case Move::Start:
        return 0;
    case Move::End:
        return m_store.length();
    default:
        return alongLine(from, move);
    }
}

std::pair<qsizetype, qsizetype> CaretMoves::reachAround(qsizetype position, qsizetype reach) const
{
    const qsizetype line = m_store.lineOf(position);
    const qsizetype start = m_store.lineStart(line);
    const qsizetype end = start + m_store.lineLength(line);
    // Never half of a pair of surrogates at either end.
    return {m_store.characterStart(std::max(start, position - reach)),
            m_store.characterStart(std::min(end, position + reach))};
}

qsizetype CaretMoves::alongLine(qsizetype from, Move move) const
{
    const qsizetype line = m_store.lineOf(from);
    const qsizetype start = m_store.lineStart(line);
    const bool forward = move == Move::Right || move == Move::WordRight;
    // At either end of the line the next step is the line break.
    if (forward && from == start + m_store.lineLength(line))
        return std::min(from + 1, m_store.length());
    if (!forward && from == start)
        return std::max<qsizetype>(from - 1, 0);
    const bool byWord = move == Move::WordLeft || move == Move::WordRight;
    const QTextLayout::CursorMode mode = byWord ? QTextLayout::SkipWords : QTextLayout::SkipCharacters;
    const auto step = [&](const QTextLayout &layout, qsizetype offset) {
        const int column = int(from - offset);
        return offset + (forward ? layout.nextCursorPosition(column, mode)
                                 : layout.previousCursorPosition(column, mode));
    };
    if (!m_store.isLong(line))
        return step(m_layouts.layout(line, m_store.lineView(line)), start);
    const auto [reachStart, reachEnd] = reachAround(from, kReach);
    const QTextLayout layout(m_store.mid(reachStart, reachEnd - reachStart), m_layouts.font());
    return step(layout, reachStart);
}

qsizetype CaretMoves::acrossLines(qsizetype from, qsizetype lines, qreal &preferredX) const
{
    if (preferredX < 0)
        preferredX = xOf(from);
    const qsizetype line = std::clamp<qsizetype>(m_store.lineOf(from) + lines, 0, m_store.lineCount() - 1);
    return atX(line, preferredX);
}

qreal CaretMoves::xOf(qsizetype position) const
{
    const qsizetype line = m_store.lineOf(position);
    const qsizetype start = m_store.lineStart(line);
    if (position == start)
        return 0;
    if (m_store.isLong(line))
        return Advances::toPixels(m_layouts.measures().xOnLine(m_store, position));
    // The caret at the end of a line that keeps arriving would otherwise shape the line again for
    // every frame.
    const QStringView text = m_store.lineView(line);
    if (LineLayouts::placedByAdvances(text)) {
        const Advances &advances = m_layouts.advances();
        return Advances::toPixels(advances.end(advances.measure(text.first(position - start)), 0));
    }
    return m_layouts.layout(line, text).lineAt(0).cursorToX(int(position - start));
}

qsizetype CaretMoves::atX(qsizetype line, qreal x) const
{
    if (m_store.isLong(line))
        return m_layouts.measures().positionOnLine(m_store, line, Advances::fromPixels(x));
    const QTextLayout &layout = m_layouts.layout(line, m_store.lineView(line));
    return m_store.lineStart(line) + layout.lineAt(0).xToCursor(x);
}

std::pair<qsizetype, qsizetype> CaretMoves::wordAround(qsizetype position) const
{
    const bool isLong = m_store.isLong(m_store.lineOf(position));
    const auto [start, end] = reachAround(position, isLong ? kReach : TextStore::kLongLine);
    const QString text = m_store.mid(start, end - start);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, text);
    const qsizetype column = position - start;
    finder.setPosition(column);
    const qsizetype wordStart = finder.isAtBoundary() ? column : finder.toPreviousBoundary();
    finder.setPosition(column);
    const qsizetype wordEnd = finder.toNextBoundary();
    return {start + std::max<qsizetype>(wordStart, 0), start + (wordEnd < 0 ? text.size() : wordEnd)};
}
