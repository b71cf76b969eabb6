#pragma once

#include <QtGlobal>

#include <memory>

// The one-byte characters of a chunk: a run of bytes in a block of memory that the runs of
// neighbouring chunks share. Bytes are only ever added at a block's free end, so a run keeps its
// bytes in place while later runs are added after it.
//
// Runs that a flood places one after another (ByteFlow) share big blocks that the kernel is asked to
// back with huge pages: one page fault per 2 MiB instead of one per 4 KiB, which on a flood is most of
// the cost of keeping a byte. A big block gives the pages back to the system as soon as no run uses
// them any more, so the oldest text dropped from a full box frees its memory though newer runs still
// live in the same block. Any other run lives on the heap, sized to its text.
class ByteRun
{
public:
    ByteRun() = default;
    ~ByteRun();
    ByteRun(ByteRun &&other) noexcept;
    ByteRun &operator=(ByteRun &&other) noexcept;
    ByteRun(const ByteRun &) = delete;
    ByteRun &operator=(const ByteRun &) = delete;

    const char *constData() const;
    qsizetype size() const { return m_size; }
    // The room asked for when the run was placed, or 0.
    qsizetype reserved() const { return m_reserve; }

    // Where `count` more bytes go, valid until the next change; they become part of the run only
    // with commit(count).
    char *room(qsizetype count);
    void commit(qsizetype count);
    // Lets go of the bytes (their characters now live elsewhere). At the free end of a big block they
    // are handed back for the next run to reuse: returns false when that was not possible, and they
    // stay taken until the pages around them are free.
    bool giveBack();
    // Lets go of the bytes without handing their pages back one run at a time: for when every run of
    // a block goes at once, and unmapping the block frees them all with one call. Asking the kernel
    // for each run's pages cost a clearing of 32 MiB a frame and more.
    void abandon();

    // The memory the run takes on the heap; a run in a big block takes none of its own, the block's
    // memory is counted once for all its runs (sharedBlock(), sharedBlockBytes()).
    qsizetype heapBytes() const;
    const void *sharedBlock() const;
    // What the run's big block holds in memory: the bytes its runs have taken (pages given back not
    // counted) and its page counts.
    qsizetype sharedBlockBytes() const;

private:
    friend class ByteFlow;
    struct Block;
    std::shared_ptr<Block> grownBlock(qsizetype needed) const;
    void release();

    std::shared_ptr<Block> m_block;
    qsizetype m_offset = 0;
    qsizetype m_size = 0;
    qsizetype m_reserve = 0;
    bool m_big = false;
};

// Where a flood places its runs: each right after the last one, in the same big block while it has
// room for the run's reserve, else in a new one.
class ByteFlow
{
public:
    // Its blocks in huge pages, or in ordinary ones for runs that fill slowly.
    explicit ByteFlow(bool hugePages = true) : m_hugePages(hugePages) {}
    ByteRun place(qsizetype reserve);
    // Goes on in the block `run` grew into, when it outgrew the block it was placed in.
    void follow(const ByteRun &run);

private:
    std::shared_ptr<ByteRun::Block> m_block;
    bool m_hugePages;
};
