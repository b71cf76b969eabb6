#pragma once

#include "textbox/byte_run.h"

#include <QString>

#include <vector>

// The text of a box, held as lines in chunks of about kChunkCharacters characters. Adding at the end
// costs what the added text costs and finding a line or a position costs a binary search, however
// much is held, so a box can take a flood for minutes. Line breaks are stored as '\n'; positions
// count every character and each line break as one, as QTextDocument positions do.
//
// A chunk whose characters all fit in Latin-1 (every ASCII log) keeps one byte per character; the
// first character past U+00FF widens that chunk alone to UTF-16.
class TextStore
{
public:
    static constexpr qsizetype kChunkCharacters = 64 * 1024;

    TextStore();

    qsizetype length() const { return m_length; }
    // Line breaks plus one: an empty text is one empty line.
    qsizetype lineCount() const { return m_breakCount + 1; }
    qsizetype lineStart(qsizetype line) const;
    qsizetype lineLength(qsizetype line) const;
    // The line without its break; valid until the next change or the next lineView().
    QStringView lineView(qsizetype line) const;
    // The line holding `position` (a position on a line break belongs to the line it ends).
    qsizetype lineOf(qsizetype position) const;

    // Everything, each line break written as `lineBreak`.
    QString text(QStringView lineBreak = u"\n") const;
    QString mid(qsizetype position, qsizetype count) const;
    // mid() added to the end of `out`, which may already hold room for it.
    void appendMid(QString &out, qsizetype position, qsizetype count) const;

    void append(QStringView text);
    void replace(qsizetype position, qsizetype removed, QStringView inserted);
    void clear();

private:
    // A run of whole lines: every chunk but the last ends with '\n', so no line spans two chunks.
    struct Chunk
    {
        ByteRun narrow; // the characters as Latin-1 while they all fit
        QString wide;   // the characters as UTF-16 once one does not
        bool isWide = false;
        std::vector<qint32> breaks; // offsets of the '\n' characters

        qsizetype size() const { return isWide ? wide.size() : narrow.size(); }
        bool endsWithBreak() const;
        void appendTo(QString &out, qsizetype from, qsizetype count) const;
        void append(QStringView piece);
    };

    qsizetype chunkAt(qsizetype position) const;
    qsizetype breakPosition(qsizetype index) const;
    static std::vector<Chunk> split(QStringView text);
    void reindexFrom(qsizetype chunk);

    std::vector<Chunk> m_chunks;
    // Where appending placed a chunk last: the next one goes right after it, even past chunks held as
    // UTF-16 or rebuilt by an edit, so a log with a Chinese line now and then still fills its blocks.
    ByteRun m_flow;
    std::vector<qsizetype> m_chunkStarts;  // position of each chunk's first character
    std::vector<qsizetype> m_breaksBefore; // line breaks in the chunks before each
    qsizetype m_length = 0;
    qsizetype m_breakCount = 0;
    mutable QString m_lineBuffer; // lineView() of a line in a Latin-1 chunk
};
