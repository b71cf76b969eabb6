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

qsizetype CaretMoves::alongLine(qsizetype from, Move move) const
{
    const qsizetype line = m_store.lineOf(from);
    const qsizetype start = m_store.lineStart(line);
    const int column = int(from - start);
    const bool forward = move == Move::Right || move == Move::WordRight;
    // At either end of the line the next step is the line break.
    if (forward && column == m_store.lineLength(line))
        return std::min(from + 1, m_store.length());
    if (!forward && column == 0)
        return std::max<qsizetype>(from - 1, 0);
    const QTextLayout &layout = m_layouts.layout(line, m_store.lineView(line));
    const bool byWord = move == Move::WordLeft || move == Move::WordRight;
    const QTextLayout::CursorMode mode = byWord ? QTextLayout::SkipWords : QTextLayout::SkipCharacters;
    return start +
           (forward ? layout.nextCursorPosition(column, mode) : layout.previousCursorPosition(column, mode));
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
    const int column = int(position - m_store.lineStart(line));
    if (column == 0)
        return 0;
    return m_layouts.layout(line, m_store.lineView(line)).lineAt(0).cursorToX(column);
}

qsizetype CaretMoves::atX(qsizetype line, qreal x) const
{
    const QTextLayout &layout = m_layouts.layout(line, m_store.lineView(line));
    return m_store.lineStart(line) + layout.lineAt(0).xToCursor(x);
}

std::pair<qsizetype, qsizetype> CaretMoves::wordAround(qsizetype position) const
{
    const qsizetype line = m_store.lineOf(position);
    const qsizetype start = m_store.lineStart(line);
    const QStringView text = m_store.lineView(line);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, text);
    const qsizetype column = position - start;
    finder.setPosition(column);
    const qsizetype wordStart = finder.isAtBoundary() ? column : finder.toPreviousBoundary();
    finder.setPosition(column);
    const qsizetype wordEnd = finder.toNextBoundary();
    return {start + std::max<qsizetype>(wordStart, 0), start + (wordEnd < 0 ? text.size() : wordEnd)};
}
