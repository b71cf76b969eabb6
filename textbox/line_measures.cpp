#include "textbox/line_measures.h"

#include "textbox/text_store.h"

#include <algorithm>
#include <unordered_set>

void LineMeasures::reset(const Advances *advances)
{
    m_advances = advances;
    m_tails.clear();
}

Advances::Run LineMeasures::measure(const TextStore &store, qsizetype chunk, qsizetype from,
                                    qsizetype count) const
{
    const TextStore::Piece piece = store.piece(chunk, from, count);
    return piece.isWide ? m_advances->measure(piece.utf16) : m_advances->measure(piece.latin1);
}

Advances::Run LineMeasures::tailRun(const TextStore &store, qsizetype chunk)
{
    if (m_tails.size() > 2 * size_t(store.chunkCount()) + 64)
        forgetGoneChunks(store);
    Tail &tail = m_tails[store.chunkId(chunk)];
    // A chunk only ever grows at its end: what was measured holds until a break arrives after it.
    const qsizetype from = store.chunkTailStart(chunk);
    if (tail.measuredTo < from)
        tail = {Advances::Run(), from};
    const qsizetype size = store.chunkSize(chunk);
    if (tail.measuredTo < size) {
        tail.run = m_advances->join(tail.run, measure(store, chunk, tail.measuredTo, size - tail.measuredTo));
        tail.measuredTo = size;
    }
    return tail.run;
}

void LineMeasures::forgetGoneChunks(const TextStore &store)
{
    std::unordered_set<quint64> live;
    for (qsizetype chunk = 0; chunk < store.chunkCount(); ++chunk)
        live.insert(store.chunkId(chunk));
    for (auto tail = m_tails.begin(); tail != m_tails.end();)
        tail = live.count(tail->first) ? std::next(tail) : m_tails.erase(tail);
}

qint64 LineMeasures::xOnLine(const TextStore &store, qsizetype position)
{
    const qsizetype start = store.lineStart(store.lineOf(position));
    const qsizetype first = store.chunkAt(start);
    const qsizetype last = store.chunkAt(position);
    if (first == last)
        return m_advances->end(measure(store, first, start - store.chunkStart(first), position - start), 0);
    // The line starts after the last break of its first chunk and holds every chunk up to the last.
    qint64 x = 0;
    for (qsizetype chunk = first; chunk < last; ++chunk)
        x = m_advances->end(tailRun(store, chunk), x);
    const qsizetype count = position - store.chunkStart(last);
    return m_advances->end(
        count == store.chunkSize(last) ? tailRun(store, last) : measure(store, last, 0, count), x);
}

void LineMeasures::measureLastLine(const TextStore &store)
{
    // Each chunk measures only what it has not measured yet; the walk back stops at the first chunk
    // that was up to date, or at the one where the line starts.
    for (qsizetype chunk = store.chunkCount() - 1; chunk >= 0; --chunk) {
        const auto kept = m_tails.find(store.chunkId(chunk));
        const bool upToDate = kept != m_tails.end() && kept->second.measuredTo == store.chunkSize(chunk);
        tailRun(store, chunk);
        if (upToDate || store.chunkTailStart(chunk) > 0)
            return;
    }
}

qsizetype LineMeasures::positionOnLine(const TextStore &store, qsizetype line, qint64 x)
{
    const qsizetype start = store.lineStart(line);
    const qsizetype end = start + store.lineLength(line);
    qsizetype from = start;
    qint64 at = 0;
    for (qsizetype chunk = store.chunkAt(start);; ++chunk) {
        const qsizetype chunkEnd = store.chunkStart(chunk) + store.chunkSize(chunk);
        if (chunkEnd < end) {
            // The line goes on past this chunk: skip it whole if x lies beyond it.
            const qint64 next = m_advances->end(tailRun(store, chunk), at);
            if (next <= x) {
                at = next;
                from = chunkEnd;
                continue;
            }
        }
        qint64 boundaryX = 0;
        const TextStore::Piece piece =
            store.piece(chunk, from - store.chunkStart(chunk), std::min(chunkEnd, end) - from);
        return from + (piece.isWide ? m_advances->nearest(piece.utf16, at, x, boundaryX)
                                    : m_advances->nearest(piece.latin1, at, x, boundaryX));
    }
}
