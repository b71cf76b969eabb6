#include "textbox/byte_run.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

namespace {
// One huge page on x86-64 and on most arm64 kernels.
constexpr qsizetype kHugePage = 2 * 1024 * 1024;
// Address space for the runs of a flood. Only the huge pages that runs have reached are resident, so
// a big block wastes at most the unused part of its last page, and runs pack without gaps.
constexpr qsizetype kBigBlock = 16 * kHugePage;

qsizetype roundUpToHugePages(qsizetype size)
{
    return (size + kHugePage - 1) / kHugePage * kHugePage;
}

// `size` bytes (whole huge pages) at an address aligned to a huge page, so every 2 MiB of it can be
// one huge page; null when the system has no such mapping to give.
char *mapBigBlock(qsizetype size)
{
    void *mapped =
        ::mmap(nullptr, size_t(size + kHugePage), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1);
    if (aligned > start)
        ::munmap(mapped, aligned - start);
    const std::uintptr_t end = start + size + kHugePage;
    if (end > aligned + size)
        ::munmap(reinterpret_cast<void *>(aligned + size), end - (aligned + size));
#ifdef MADV_HUGEPAGE
    ::madvise(reinterpret_cast<void *>(aligned), size_t(size), MADV_HUGEPAGE);
#endif
    return reinterpret_cast<char *>(aligned);
}
} // namespace

struct ByteRun::Block
{
    Block(qsizetype size, bool big) : capacity(size)
    {
        if (big)
            data = mapBigBlock(size);
        mapped = data != nullptr;
        if (!mapped)
            data = static_cast<char *>(std::malloc(size_t(size)));
        if (!data)
            qBadAlloc();
    }
    ~Block()
    {
        if (mapped)
            ::munmap(data, size_t(capacity));
        else
            std::free(data);
    }
    Block(const Block &) = delete;
    Block &operator=(const Block &) = delete;

    char *data = nullptr;
    qsizetype capacity = 0;
    qsizetype used = 0; // bytes taken by runs; the rest is free
    bool mapped = false;
};

ByteRun ByteRun::after(const ByteRun &previous, qsizetype reserve)
{
    ByteRun run;
    run.m_reserve = reserve;
    if (!previous.m_block) {
        run.m_block = std::make_shared<Block>(reserve, false);
        return run;
    }
    run.m_big = true;
    const Block *shared = previous.m_block.get();
    if (previous.m_big && shared->capacity - shared->used >= reserve) {
        run.m_block = previous.m_block;
        run.m_offset = shared->used;
    } else {
        run.m_block = std::make_shared<Block>(std::max(kBigBlock, roundUpToHugePages(reserve)), true);
    }
    return run;
}

const char *ByteRun::constData() const
{
    return m_block ? m_block->data + m_offset : nullptr;
}

char *ByteRun::room(qsizetype count)
{
    // Growing in place is only safe at the block's free end: bytes past this run may be another's.
    const bool inPlace =
        m_block && m_offset + m_size == m_block->used && m_block->capacity - m_block->used >= count;
    if (!inPlace) {
        std::shared_ptr<Block> block = grownBlock(m_size + count);
        if (m_size > 0)
            std::memcpy(block->data, constData(), size_t(m_size));
        block->used = m_size;
        m_block = std::move(block);
        m_offset = 0;
    }
    return m_block->data + m_offset + m_size;
}

void ByteRun::commit(qsizetype count)
{
    m_size += count;
    m_block->used += count;
}

std::shared_ptr<ByteRun::Block> ByteRun::grownBlock(qsizetype needed) const
{
    // Half as much again, so a run that keeps growing (one endless line) is copied a bounded number
    // of times per byte.
    if (m_big)
        return std::make_shared<Block>(std::max(kBigBlock, roundUpToHugePages(needed + needed / 2)), true);
    return std::make_shared<Block>(std::max({needed, 2 * m_size, qsizetype(64)}), false);
}
