#include "textbox/byte_run.h"

#include "textbox/huge_pages.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
// Address space for the runs of a flood. Only the huge pages that runs have reached are resident, so
// a big block wastes at most the unused part of its last page, and runs pack without gaps.
constexpr qsizetype kBigBlock = 16 * HugePages::kSize;
} // namespace

struct ByteRun::Block
{
    Block(qsizetype size, bool big) : capacity(size)
    {
        if (big)
            data = HugePages::map(size);
        mapped = data != nullptr;
        if (!mapped)
            data = static_cast<char *>(std::malloc(size_t(size)));
        if (!data)
            qBadAlloc();
    }
    ~Block()
    {
        if (mapped)
            HugePages::unmap(data, capacity);
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

ByteRun ByteRun::after(const ByteRun &flow, qsizetype reserve)
{
    ByteRun run;
    run.m_reserve = reserve;
    run.m_big = true;
    const Block *block = flow.m_block.get();
    if (flow.m_big && block->capacity - block->used >= reserve) {
        run.m_block = flow.m_block;
        run.m_offset = block->used;
    } else {
        run.m_block = std::make_shared<Block>(std::max(kBigBlock, HugePages::roundUp(reserve)), true);
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
        return std::make_shared<Block>(std::max(kBigBlock, HugePages::roundUp(needed + needed / 2)), true);
    return std::make_shared<Block>(std::max({needed, 2 * m_size, qsizetype(64)}), false);
}
