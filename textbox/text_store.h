#pragma once

#include "textbox/break_offsets.h"
#include "textbox/byte_run.h"

#include <QString>

#include <initializer_list>
#include <memory>
#include <vector>

// The text of a box, held in chunks of about kChunkCharacters characters that end at a line break
// where one comes soon enough. Adding at the end costs what the added text costs and finding a line
// or a position costs a binary search, however much is held and however long its lines, so a box can
// take a flood for minutes. Line breaks are stored as '\n'; positions count every character and each
// line break as one, as QTextDocument positions do.
//
// A chunk whose characters all fit in Latin-1 (every ASCII log) keeps one byte per character; the
// first character past U+00FF widens that chunk alone to UTF-16.
//
// A chunk is changed in place only by adding at its end; an edit replaces the chunks it touches. So a
// Snapshot that shares the chunks keeps its text while the store goes on changing.
class TextStore
{
    struct Chunk;

public:
    static constexpr qsizetype kChunkCharacters = 64 * 1024;
    // A line longer than this is never read or laid out whole: see xOnLine().
    static constexpr qsizetype kLongLine = 4096;
    // The most memory a character added at the end can take: two bytes in UTF-16 and, for a line
    // break, its entry in the line index.
    static constexpr qsizetype kMostBytesPerCharacter = 2 + sizeof(qint32);

    // Part of the text as it stood when taken, read while the store changes.
    class Snapshot
    {
    public:
        qsizetype size() const { return m_size; }
        // Characters [offset, offset + count) of the snapshot, added to the end of `out`.
        void appendTo(QString &out, qsizetype offset, qsizetype count) const;

    private:
        friend class TextStore;
        std::vector<std::shared_ptr<const Chunk>> m_chunks;
        std::vector<qsizetype> m_starts; // where each chunk starts, counted from the snapshot's start
        qsizetype m_size = 0;
    };

    TextStore();
    TextStore(const TextStore &) = delete;
    TextStore &operator=(const TextStore &) = delete;

    qsizetype length() const { return m_length; }
    // Line breaks plus one: an empty text is one empty line.
    qsizetype lineCount() const { return m_breakCount + 1; }
    qsizetype lineStart(qsizetype line) const;
    qsizetype lineLength(qsizetype line) const;
    bool isLong(qsizetype line) const { return lineLength(line) > kLongLine; }
    // The line without its break, for lines that are not long; valid until the next change or the next
    // lineView().
    QStringView lineView(qsizetype line) const;
    // The line holding `position` (a position on a line break belongs to the line it ends).
    qsizetype lineOf(qsizetype position) const;
    QChar at(qsizetype position) const;
    // `position`, or the one before it where it would split a pair of surrogates.
    qsizetype characterStart(qsizetype position) const;

    // Everything, each line break written as `lineBreak`.
    QString text(QStringView lineBreak = u"\n") const;
    QString mid(qsizetype position, qsizetype count) const;
    // mid() added to the end of `out`, which may already hold room for it.
    void appendMid(QString &out, qsizetype position, qsizetype count) const;
    Snapshot snapshot(qsizetype position, qsizetype count) const;

    // The chunks, for measuring the lines too long to lay out whole a chunk at a time (LineMeasures).
    struct Piece
    {
        bool isWide;
        QLatin1StringView latin1;
        QStringView utf16;
    };
    qsizetype chunkCount() const { return qsizetype(m_chunks.size()); }
    // The chunk holding `position`; a position at a chunk boundary belongs to the chunk it starts.
    qsizetype chunkAt(qsizetype position) const;
    qsizetype chunkStart(qsizetype chunk) const { return m_chunkStarts[size_t(chunk)]; }
    qsizetype chunkSize(qsizetype chunk) const { return m_chunks[size_t(chunk)]->size(); }
    // Where the part of the chunk after its last line break starts (0 with no break).
    qsizetype chunkTailStart(qsizetype chunk) const { return m_chunks[size_t(chunk)]->tailStart(); }
    // A number no other chunk of this store has or will have.
    quint64 chunkId(qsizetype chunk) const { return m_chunks[size_t(chunk)]->id; }
    Piece piece(qsizetype chunk, qsizetype from, qsizetype count) const;

    // The memory the text takes: its characters (a byte each in Latin-1 chunks, two in the others, as
    // much as the chunks have reserved), the line index, and the pages of the blocks the chunks keep.
    qsizetype bytes() const { return m_bytes; }
    // The most bytes() can be after `characters` more are appended.
    qsizetype bytesAfterAppending(qsizetype characters) const;
    // Where the text would have to start for at least `bytes` of it to be gone: a chunk boundary, so
    // that dropping the text before it gives its memory back.
    qsizetype chunkBoundaryFreeing(qsizetype bytes) const;

    void append(QStringView text);
    void replace(qsizetype position, qsizetype removed, QStringView inserted);
    void removeFront(qsizetype count);
    void clear();

private:
    // A run of whole lines, but for a line too long for one chunk, which goes on in the next.
    struct Chunk
    {
        ByteRun narrow; // the characters as Latin-1 while they all fit
        QString wide;   // the characters as UTF-16 once one does not
        bool isWide = false;
        BreakOffsets breaks; // where the '\n' characters stand
        quint64 id = 0;

        qsizetype size() const { return isWide ? wide.size() : narrow.size(); }
        // The memory of the chunk's own; a narrow chunk's bytes in a shared block count with the block.
        qsizetype ownBytes() const;
        // ownBytes() and the chunk's bytes in shared blocks: what dropping it frees.
        qsizetype bytes() const
        {
            return ownBytes() + (narrow.sharedBlock() ? narrow.size() : 0) +
                   (breaks.run().sharedBlock() ? breaks.run().size() : 0);
        }
        qsizetype tailStart() const { return breaks.empty() ? 0 : breaks.back() + 1; }
        bool endsWithBreak() const;
        void appendTo(QString &out, qsizetype from, qsizetype count) const;
        // Adds a piece; false when widening left the narrow bytes taken in their block.
        bool append(QStringView piece);
    };

    qsizetype breakPosition(qsizetype index) const;
    // New chunks holding the pieces one after another.
    std::vector<std::shared_ptr<Chunk>> split(std::initializer_list<QStringView> pieces);
    std::shared_ptr<Chunk> newChunk();
    void reindexFrom(qsizetype chunk);
    void countBytes();

    std::vector<std::shared_ptr<Chunk>> m_chunks;
    // Where appending placed a chunk last: the next one goes right after it, even past chunks held as
    // UTF-16 or rebuilt by an edit, so a log with a Chinese line now and then still fills its blocks.
    ByteFlow m_flow;
    // The same for the chunks' line break offsets, a few for every hundred characters of a log.
    ByteFlow m_breakFlow{false};
    std::vector<qsizetype> m_chunkStarts;  // position of each chunk's first character
    std::vector<qsizetype> m_breaksBefore; // line breaks in the chunks before each
    qsizetype m_length = 0;
    qsizetype m_breakCount = 0;
    qsizetype m_bytes = 0;
    quint64 m_lastId = 0;
    mutable QString m_lineBuffer; // lineView() of a line in a Latin-1 chunk or in two chunks
};
