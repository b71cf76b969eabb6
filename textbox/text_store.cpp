#include "textbox/text_store.h"

#include <algorithm>
#include <iterator>

namespace {
constexpr char16_t kBreak = u'\n';
// Room for the rest of the line that crosses the chunk size, so a chunk rarely grows once started.
constexpr qsizetype kChunkSlack = 512;
} // namespace

TextStore::TextStore()
{
    clear();
}

void TextStore::clear()
{
    m_chunks.assign(1, Chunk());
    m_chunkStarts.assign(1, 0);
    m_breaksBefore.assign(1, 0);
    m_length = 0;
    m_breakCount = 0;
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
    return m_chunkStarts[chunk] + m_chunks[chunk].breaks[index - m_breaksBefore[chunk]];
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
    return QStringView(m_chunks[chunk].text).mid(start - m_chunkStarts[chunk], lineLength(line));
}

qsizetype TextStore::lineOf(qsizetype position) const
{
    const qsizetype chunk = chunkAt(position);
    const std::vector<qint32> &breaks = m_chunks[chunk].breaks;
    const auto before = std::lower_bound(breaks.begin(), breaks.end(), position - m_chunkStarts[chunk]);
    return m_breaksBefore[chunk] + std::distance(breaks.begin(), before);
}

QString TextStore::text(QStringView lineBreak) const
{
    if (lineBreak == u"\n")
        return mid(0, m_length);
    QString result;
    result.reserve(m_length + m_breakCount * (lineBreak.size() - 1));
    for (const Chunk &chunk : m_chunks) {
        qsizetype from = 0;
        for (const qint32 at : chunk.breaks) {
            result.append(QStringView(chunk.text).sliced(from, at - from)).append(lineBreak);
            from = at + 1;
        }
        result.append(QStringView(chunk.text).sliced(from));
    }
    return result;
}

QString TextStore::mid(qsizetype position, qsizetype count) const
{
    QString result;
    result.reserve(count);
    for (qsizetype chunk = chunkAt(position); count > 0 && chunk < qsizetype(m_chunks.size()); ++chunk) {
        const QStringView piece =
            QStringView(m_chunks[chunk].text).mid(position - m_chunkStarts[chunk], count);
        result += piece;
        position += piece.size();
        count -= piece.size();
    }
    return result;
}

void TextStore::appendPiece(Chunk &chunk, QStringView piece)
{
    for (qsizetype at = piece.indexOf(kBreak); at >= 0; at = piece.indexOf(kBreak, at + 1))
        chunk.breaks.push_back(qint32(chunk.text.size() + at));
    chunk.text += piece;
}

void TextStore::append(QStringView text)
{
    m_length += text.size();
    while (!text.isEmpty()) {
        if (m_chunks.back().text.size() >= kChunkCharacters && m_chunks.back().text.endsWith(kBreak)) {
            m_chunkStarts.push_back(m_chunkStarts.back() + m_chunks.back().text.size());
            m_breaksBefore.push_back(m_breaksBefore.back() + qsizetype(m_chunks.back().breaks.size()));
            m_chunks.emplace_back();
            m_chunks.back().text.reserve(kChunkCharacters + kChunkSlack);
        }
        Chunk &last = m_chunks.back();
        // Fill the chunk up to its size, then up to the end of the line that crosses it.
        qsizetype take = text.size();
        const qsizetype room = kChunkCharacters - last.text.size();
        if (room < take) {
            const qsizetype lineEnd = text.indexOf(kBreak, std::max<qsizetype>(room - 1, 0));
            if (lineEnd >= 0)
                take = lineEnd + 1;
        }
        const qsizetype breaksBefore = qsizetype(last.breaks.size());
        appendPiece(last, text.first(take));
        m_breakCount += qsizetype(last.breaks.size()) - breaksBefore;
        text = text.sliced(take);
    }
}

std::vector<TextStore::Chunk> TextStore::split(QStringView text)
{
    std::vector<Chunk> chunks(1);
    while (!text.isEmpty()) {
        qsizetype take = text.size();
        if (take > kChunkCharacters) {
            const qsizetype lineEnd = text.indexOf(kBreak, kChunkCharacters - 1);
            if (lineEnd >= 0)
                take = lineEnd + 1;
        }
        if (!chunks.back().text.isEmpty())
            chunks.emplace_back();
        appendPiece(chunks.back(), text.first(take));
        text = text.sliced(take);
    }
    return chunks;
}

void TextStore::replace(qsizetype position, qsizetype removed, QStringView inserted)
{
    const qsizetype first = chunkAt(position);
    const qsizetype last = chunkAt(position + removed);
    const QStringView before = QStringView(m_chunks[first].text).first(position - m_chunkStarts[first]);
    const QStringView after =
        QStringView(m_chunks[last].text).sliced(position + removed - m_chunkStarts[last]);
    QString joined;
    joined.reserve(before.size() + inserted.size() + after.size());
    joined.append(before).append(inserted).append(after);
    std::vector<Chunk> chunks = split(joined);
    // An emptied chunk after others is dropped: the line break before it already makes its empty line.
    if (chunks.back().text.isEmpty() && first > 0)
        chunks.pop_back();
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
        m_chunkStarts[i] = i == 0 ? 0 : m_chunkStarts[i - 1] + m_chunks[i - 1].text.size();
        m_breaksBefore[i] = i == 0 ? 0 : m_breaksBefore[i - 1] + qsizetype(m_chunks[i - 1].breaks.size());
    }
    m_length = m_chunkStarts.back() + m_chunks.back().text.size();
    m_breakCount = m_breaksBefore.back() + qsizetype(m_chunks.back().breaks.size());
}
