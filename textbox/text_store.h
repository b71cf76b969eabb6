#pragma once

#include <QString>

#include <vector>

// The text of a box, held as lines in chunks of about kChunkCharacters characters. Adding at the end
// costs what the added text costs and finding a line or a position costs a binary search, however
// much is held, so a box can take a flood for minutes. Line breaks are stored as '\n'; positions
// count every character and each line break as one, as QTextDocument positions do.
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
    // The line without its break; valid until the next change.
    QStringView lineView(qsizetype line) const;
    // The line holding `position` (a position on a line break belongs to the line it ends).
    qsizetype lineOf(qsizetype position) const;

    // Everything, each line break written as `lineBreak`.
    QString text(QStringView lineBreak = u"\n") const;
    QString mid(qsizetype position, qsizetype count) const;

    void append(QStringView text);
    void replace(qsizetype position, qsizetype removed, QStringView inserted);
    void clear();

private:
    // A run of whole lines: every chunk but the last ends with '\n', so no line spans two chunks.
    struct Chunk
    {
        QString text;
        std::vector<qint32> breaks; // offsets of the '\n' characters in text
    };

    qsizetype chunkAt(qsizetype position) const;
    qsizetype breakPosition(qsizetype index) const;
    static void appendPiece(Chunk &chunk, QStringView piece);
    static std::vector<Chunk> split(QStringView text);
    void reindexFrom(qsizetype chunk);

    std::vector<Chunk> m_chunks;
    std::vector<qsizetype> m_chunkStarts;  // position of each chunk's first character
    std::vector<qsizetype> m_breaksBefore; // line breaks in the chunks before each
    qsizetype m_length = 0;
    qsizetype m_breakCount = 0;
};
