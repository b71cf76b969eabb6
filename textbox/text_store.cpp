#include "textbox/text_store.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <unordered_set>

namespace {
constexpr char16_t kBreak = u'\n';
// Room for the rest of the line that crosses the chunk size, so a chunk rarely grows once started.
constexpr qsizetype kChunkSlack = 512;
// What a chunk costs besides its characters and line index: itself and its shared pointer's count.
constexpr qsizetype kChunkOverhead = 256;
// Room placed for a chunk's line break offsets; a chunk with more grows on, in place at the free end
// of its block or else in a new block that the next chunks follow.
constexpr qsizetype kBreakReserve = 16 * 1024;

// Adds break offsets to a chunk a few hundred at a time; flush() adds the last ones.
class BreakBatch
{
public:
    explicit BreakBatch(BreakOffsets &breaks) : m_breaks(breaks) {}

    void add(qint32 offset)
    {
        m_offsets[m_count++] = offset;
        if (m_count == kSize)
            flush();
    }
    void flush()
    {
        m_breaks.append(m_offsets, m_count);
        m_count = 0;
    }

private:
    static constexpr qsizetype kSize = 256;

    BreakOffsets &m_breaks;
    qint32 m_offsets[kSize];
    qsizetype m_count = 0;
};

// How much of `text` goes into a chunk that holds `held` characters: all of it up to the chunk's
// size, then up to the end of the line that crosses the size, but not past the slack (a longer line
// goes on in the next chunk), and never half of a pair of surrogates.
qsizetype chunkTake(QStringView text, qsizetype held)
{
    const qsizetype room = TextStore::kChunkCharacters - held;
    if (text.size() <= room)
        return text.size();
    const qsizetype most = std::min(text.size(), TextStore::kChunkCharacters + kChunkSlack - held);
    const qsizetype lineEnd = text.first(most).indexOf(kBreak, std::max<qsizetype>(room - 1, 0));
    qsizetype take = lineEnd >= 0 ? lineEnd + 1 : most;
    if (take < text.size() && text[take - 1].isHighSurrogate())
        ++take;
    return take;
}
} // namespace

TextStore::TextStore()
{
    clear();
}

void TextStore::clear()
{
    // The blocks go with their chunks, but for chunks a clipboard copy still holds.
    for (const std::shared_ptr<Chunk> &chunk : m_chunks) {
        if (chunk.use_count() == 1) {
            chunk->narrow.abandon();
            chunk->breaks.run().abandon();
        }
    }
    m_chunks.assign(1, newChunk());
    m_flow = ByteFlow();
    m_breakFlow = ByteFlow(false);
    m_chunkStarts.assign(1, 0);
    m_breaksBefore.assign(1, 0);
    m_length = 0;
    m_breakCount = 0;
    countBytes();
}

qsizetype TextStore::chunkAt(qsizetype position) const
{
    // The last chunk starting at or before the position: a position at a chunk boundary belongs to
    // the chunk it starts.
    const auto after = std::upper_bound(m_chunkStarts.begin(), m_chunkStarts.end(), position);
    return std::max<qsizetype>(std::distance(m_chunkStarts.begin(), after) - 1, 0);
}

qsizetype TextStore::breakPosition(qsizetype index) const
{
    const auto after = std::upper_bound(m_breaksBefore.begin(), m_breaksBefore.end(), index);
    const qsizetype chunk = std::distance(m_breaksBefore.begin(), after) - 1;
    return m_chunkStarts[chunk] + m_chunks[chunk]->breaks[index - m_breaksBefore[chunk]];
}

qsizetype TextStore::lineStart(qsizetype line) const
{
    return line == 0 ? 0 : breakPosition(line - 1) + 1;
}

qsizetype TextStore::lineLength(qsizetype line) const
{
    const qsizetype end = line == lineCount() - 1 ? m_length : breakPosition(line);
    return end - lineStart(line);
}

QStringView TextStore::lineView(qsizetype line) const
{
    const qsizetype start = lineStart(line);
    const qsizetype chunk = chunkAt(start);
    const Chunk &held = *m_chunks[chunk];
    const qsizetype from = start - m_chunkStarts[chunk];
    const qsizetype length = lineLength(line);
    if (from + length <= held.size() && held.isWide)
        return QStringView(held.wide).sliced(from, length);
    // Reuses the buffer's room, so reading line after line allocates nothing.
    if (from + length <= held.size()) {
        m_lineBuffer = QLatin1StringView(held.narrow.constData() + from, length);
    } else {
        m_lineBuffer.resize(0);
        appendMid(m_lineBuffer, start, length);
    }
    return m_lineBuffer;
}

qsizetype TextStore::lineOf(qsizetype position) const
{
    const qsizetype chunk = chunkAt(position);
    const BreakOffsets &breaks = m_chunks[chunk]->breaks;
    const auto before = std::lower_bound(breaks.begin(), breaks.end(), position - m_chunkStarts[chunk]);
    return m_breaksBefore[chunk] + std::distance(breaks.begin(), before);
}

QChar TextStore::at(qsizetype position) const
{
    const qsizetype chunk = chunkAt(position);
    const Chunk &held = *m_chunks[chunk];
    const qsizetype offset = position - m_chunkStarts[chunk];
    if (offset >= held.size())
        return QChar();
    return held.isWide ? held.wide.at(offset) : QChar::fromLatin1(held.narrow.constData()[offset]);
}

qsizetype TextStore::characterStart(qsizetype position) const
{
    if (position > 0 && position < m_length && at(position).isLowSurrogate() &&
        at(position - 1).isHighSurrogate())
        return position - 1;
    return position;
}

QString TextStore::text(QStringView lineBreak) const
{
    if (lineBreak == u"\n")
        return mid(0, m_length);
    QString result;
    result.reserve(m_length + m_breakCount * (lineBreak.size() - 1));
    for (const auto &chunk : m_chunks) {
        qsizetype from = 0;
        for (const qint32 at : chunk->breaks) {
            chunk->appendTo(result, from, at - from);
            result.append(lineBreak);
            from = at + 1;
        }
        chunk->appendTo(result, from, chunk->size() - from);
    }
    return result;
}

QString TextStore::mid(qsizetype position, qsizetype count) const
{
    QString result;
    result.reserve(count);
    appendMid(result, position, count);
    return result;
}

void TextStore::appendMid(QString &out, qsizetype position, qsizetype count) const
{
    for (qsizetype chunk = chunkAt(position); count > 0 && chunk < qsizetype(m_chunks.size()); ++chunk) {
        const qsizetype from = position - m_chunkStarts[chunk];
        const qsizetype taken = std::min(count, m_chunks[chunk]->size() - from);
        m_chunks[chunk]->appendTo(out, from, taken);
        position += taken;
        count -= taken;
    }
}

TextStore::Snapshot TextStore::snapshot(qsizetype position, qsizetype count) const
{
    Snapshot taken;
    taken.m_size = count;
    for (qsizetype chunk = chunkAt(position), at = -(position - m_chunkStarts[chunk]);
         at < count && chunk < qsizetype(m_chunks.size()); at += m_chunks[chunk++]->size()) {
        taken.m_chunks.push_back(m_chunks[chunk]);
        taken.m_starts.push_back(at);
    }
    return taken;
}

void TextStore::Snapshot::appendTo(QString &out, qsizetype offset, qsizetype count) const
{
    // The first chunk starts at or before the snapshot's start; the last one may have grown since.
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), offset);
    for (auto chunk = size_t(std::distance(m_starts.begin(), after) - 1); count > 0; ++chunk) {
        const qsizetype from = offset - m_starts[chunk];
        const qsizetype taken = std::min(count, m_chunks[chunk]->size() - from);
        m_chunks[chunk]->appendTo(out, from, taken);
        offset += taken;
        count -= taken;
    }
}

bool TextStore::Chunk::endsWithBreak() const
{
    if (isWide)
        return wide.endsWith(kBreak);
    return narrow.size() > 0 && narrow.constData()[narrow.size() - 1] == char(kBreak);
}

void TextStore::Chunk::appendTo(QString &out, qsizetype from, qsizetype count) const
{
    if (isWide)
        out.append(QStringView(wide).sliced(from, count));
    else
        out.append(QLatin1StringView(narrow.constData() + from, count));
}

std::shared_ptr<TextStore::Chunk> TextStore::newChunk()
{
    auto chunk = std::make_shared<Chunk>();
    chunk->id = ++m_lastId;
    return chunk;
}

qsizetype TextStore::Chunk::ownBytes() const
{
    return kChunkOverhead + narrow.heapBytes() + (isWide ? 2 * wide.capacity() : 0) +
           breaks.run().heapBytes();
}

bool TextStore::Chunk::append(QStringView piece)
{
    const qsizetype at = size();
    if (!isWide) {
        // Look at every character before writing any, so that a piece that widens the chunk never
        // touches the chunk's memory: a Chinese log would otherwise keep pages it never uses.
        const char16_t *in = piece.utf16();
        char16_t high = 0;
        for (qsizetype i = 0; i < piece.size(); ++i)
            high |= in[i];
        if (high <= 0xff) {
            char *out = narrow.room(piece.size());
            for (qsizetype i = 0; i < piece.size(); ++i)
                out[i] = char(in[i]);
            narrow.commit(piece.size());
            const char *end = out + piece.size();
            BreakBatch batch(breaks);
            for (const char *found = out;
                 (found = static_cast<const char *>(std::memchr(found, char(kBreak), size_t(end - found))));
                 ++found)
                batch.add(qint32(found - narrow.constData()));
            batch.flush();
            return true;
        }
        wide.reserve(std::max(narrow.reserved(), at + piece.size()));
        wide.append(QLatin1StringView(narrow.constData(), at));
        isWide = true;
        // At the free end of its block the narrow copy's bytes go to the next chunk.
        if (!narrow.giveBack())
            return false;
    }
    BreakBatch batch(breaks);
    for (qsizetype found = piece.indexOf(kBreak); found >= 0; found = piece.indexOf(kBreak, found + 1))
        batch.add(qint32(at + found));
    batch.flush();
    wide.append(piece);
    return true;
}

void TextStore::append(QStringView text)
{
    while (!text.isEmpty()) {
        Chunk &back = *m_chunks.back();
        if (back.size() >= kChunkCharacters &&
            (back.endsWithBreak() || back.size() >= kChunkCharacters + kChunkSlack)) {
            m_chunkStarts.push_back(m_chunkStarts.back() + back.size());
            m_breaksBefore.push_back(m_breaksBefore.back() + qsizetype(back.breaks.size()));
            auto next = newChunk();
            const void *block = back.narrow.sharedBlock();
            const void *breakBlock = back.breaks.run().sharedBlock();
            next->narrow = m_flow.place(kChunkCharacters + kChunkSlack);
            m_breakFlow.follow(back.breaks.run());
            next->breaks.run() = m_breakFlow.place(kBreakReserve);
            m_chunks.push_back(std::move(next));
            m_bytes += kChunkOverhead;
            // A new block: its page counts are memory too.
            if (m_chunks.back()->narrow.sharedBlock() != block ||
                m_chunks.back()->breaks.run().sharedBlock() != breakBlock)
                countBytes();
        }
        Chunk &last = *m_chunks.back();
        const qsizetype take = chunkTake(text, last.size());
        const qsizetype breaksBefore = qsizetype(last.breaks.size());
        const qsizetype bytesBefore = last.bytes();
        const void *breakBlock = last.breaks.run().sharedBlock();
        const bool counted = last.append(text.first(take)) && last.breaks.run().sharedBlock() == breakBlock;
        m_length += take;
        m_breakCount += qsizetype(last.breaks.size()) - breaksBefore;
        m_bytes += last.bytes() - bytesBefore;
        if (!counted)
            countBytes();
        text = text.sliced(take);
    }
}

std::vector<std::shared_ptr<TextStore::Chunk>> TextStore::split(std::initializer_list<QStringView> pieces)
{
    // Chunks fill as appending fills them, whichever piece a chunk's text comes from.
    std::vector<std::shared_ptr<Chunk>> chunks{newChunk()};
    for (QStringView text : pieces) {
        while (!text.isEmpty()) {
            const Chunk &back = *chunks.back();
            if (back.size() >= kChunkCharacters &&
                (back.endsWithBreak() || back.size() >= kChunkCharacters + kChunkSlack))
                chunks.push_back(newChunk());
            const qsizetype take = chunkTake(text, chunks.back()->size());
            chunks.back()->append(text.first(take));
            text = text.sliced(take);
        }
    }
    return chunks;
}

void TextStore::replace(qsizetype position, qsizetype removed, QStringView inserted)
{
    const qsizetype first = chunkAt(position);
    const qsizetype last = chunkAt(position + removed);
    const qsizetype afterFrom = position + removed - m_chunkStarts[last];
    // What the edited chunks keep on either side, at most a chunk each. The inserted text goes into
    // the new chunks straight from where it is: a paste of a big log copied once more was a megabyte of
    // fresh memory and its page faults.
    QString before;
    m_chunks[first]->appendTo(before, 0, position - m_chunkStarts[first]);
    QString after;
    m_chunks[last]->appendTo(after, afterFrom, m_chunks[last]->size() - afterFrom);
    std::vector<std::shared_ptr<Chunk>> chunks = split({before, inserted, after});
    // An emptied chunk after others is dropped: the text before it already ends where it would start.
    if (chunks.back()->size() == 0 && first > 0)
        chunks.pop_back();
    // Everything that may fail for want of memory happens before the text changes, so a failed edit
    // leaves the text as it was.
    const size_t count = m_chunks.size() - size_t(last - first + 1) + chunks.size();
    m_chunks.reserve(count);
    m_chunkStarts.reserve(count);
    m_breaksBefore.reserve(count);
    m_chunks.erase(m_chunks.begin() + first, m_chunks.begin() + last + 1);
    m_chunks.insert(m_chunks.begin() + first, std::make_move_iterator(chunks.begin()),
                    std::make_move_iterator(chunks.end()));
    reindexFrom(first);
}

void TextStore::reindexFrom(qsizetype chunk)
{
    m_chunkStarts.resize(m_chunks.size());
    m_breaksBefore.resize(m_chunks.size());
    for (qsizetype i = chunk; i < qsizetype(m_chunks.size()); ++i) {
        m_chunkStarts[i] = i == 0 ? 0 : m_chunkStarts[i - 1] + m_chunks[i - 1]->size();
        m_breaksBefore[i] = i == 0 ? 0 : m_breaksBefore[i - 1] + qsizetype(m_chunks[i - 1]->breaks.size());
    }
    m_length = m_chunkStarts.back() + m_chunks.back()->size();
    m_breakCount = m_breaksBefore.back() + qsizetype(m_chunks.back()->breaks.size());
    countBytes();
}

void TextStore::countBytes()
{
    // Chunks in a row share blocks: each block's memory is counted once.
    std::unordered_set<const void *> blocks;
    m_bytes = 0;
    for (const auto &chunk : m_chunks) {
        m_bytes += chunk->ownBytes();
        for (const ByteRun *run : {&chunk->narrow, &chunk->breaks.run()}) {
            if (const void *block = run->sharedBlock(); block && blocks.insert(block).second)
                m_bytes += run->sharedBlockBytes();
        }
    }
}

qsizetype TextStore::bytesAfterAppending(qsizetype characters) const
{
    // Besides the characters, what one chunk may take at once: its UTF-16 copy reserved whole when it
    // widens, and new blocks' page counts.
    constexpr qsizetype kGrowth = 2 * (kChunkCharacters + kChunkSlack) + 2 * 32 * 1024;
    return m_bytes + characters * kMostBytesPerCharacter + kGrowth;
}

void TextStore::removeFront(qsizetype count)
{
    count = std::clamp<qsizetype>(count, 0, m_length);
    if (count == m_length) {
        clear();
        return;
    }
    const qsizetype kept = chunkAt(count);
    const qsizetype partial = count - m_chunkStarts[kept];
    m_chunks.erase(m_chunks.begin(), m_chunks.begin() + kept);
    reindexFrom(0);
    if (partial > 0)
        replace(0, partial, {});
}

qsizetype TextStore::chunkBoundaryFreeing(qsizetype bytes) const
{
    qsizetype freed = 0;
    for (size_t chunk = 0; chunk < m_chunks.size(); ++chunk) {
        if (freed >= bytes)
            return m_chunkStarts[chunk];
        freed += m_chunks[chunk]->bytes();
    }
    return m_length;
}

TextStore::Piece TextStore::piece(qsizetype chunk, qsizetype from, qsizetype count) const
{
    const Chunk &held = *m_chunks[size_t(chunk)];
    if (held.isWide)
        return {true, {}, QStringView(held.wide).sliced(from, count)};
    return {false, QLatin1StringView(held.narrow.constData() + from, count), {}};
}
