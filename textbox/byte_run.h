#pragma once

#include <QtGlobal>

#include <memory>

// The one-byte characters of a chunk: a run of bytes in a block of memory that the runs of
// neighbouring chunks share. Bytes are only ever added at a block's free end, so a copy of a run
// (the clipboard's snapshot of a box) keeps its bytes while the box goes on appending, without
// copying them.
//
// Runs that a flood starts one after another (after()) share big blocks that the kernel is asked to
// back with huge pages: one page fault per 2 MiB instead of one per 4 KiB, which on a flood is most of
// the cost of keeping a byte. Any other run lives on the heap, sized to its text.
class ByteRun
{
public:
    ByteRun() = default;
    // An empty run placed right after `flow` (the run a flood placed last) in its big block, or in a new
    // big block when `flow` has none or fewer than `reserve` bytes are free there.
    static ByteRun after(const ByteRun &flow, qsizetype reserve);

    const char *constData() const;
    qsizetype size() const { return m_size; }
    // The room asked for when the run was placed, or 0.
    qsizetype reserved() const { return m_reserve; }

    // Where `count` more bytes go, valid until the next change; they become part of the run only
    // with commit(count).
    char *room(qsizetype count);
    void commit(qsizetype count);

private:
    struct Block;
    std::shared_ptr<Block> grownBlock(qsizetype needed) const;

    std::shared_ptr<Block> m_block;
    qsizetype m_offset = 0;
    qsizetype m_size = 0;
    qsizetype m_reserve = 0;
    bool m_big = false;
};
