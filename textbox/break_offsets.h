#pragma once

#include "textbox/byte_run.h"

#include <cstring>

// Where the line breaks of a chunk stand, in order, as offsets into the chunk. Kept as a run of bytes
// that a flow of its own places beside the characters: a log of nothing but line breaks takes four
// bytes a break, with no spare room and no copy when its chunk is done, and when the oldest text goes
// the pages of its offsets go back to the system with it.
class BreakOffsets
{
public:
    qsizetype size() const { return m_run.size() / qsizetype(sizeof(qint32)); }
    bool empty() const { return m_run.size() == 0; }
    const qint32 *begin() const { return reinterpret_cast<const qint32 *>(m_run.constData()); }
    const qint32 *end() const { return begin() + size(); }
    qint32 operator[](qsizetype index) const { return begin()[index]; }
    qint32 back() const { return end()[-1]; }

    void append(const qint32 *offsets, qsizetype count)
    {
        if (count == 0)
            return;
        const qsizetype bytes = count * qsizetype(sizeof(qint32));
        std::memcpy(m_run.room(bytes), offsets, size_t(bytes));
        m_run.commit(bytes);
    }

    ByteRun &run() { return m_run; }
    const ByteRun &run() const { return m_run; }

private:
    ByteRun m_run;
};
