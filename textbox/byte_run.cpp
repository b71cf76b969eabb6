#include "textbox/byte_run.h"

#include "textbox/huge_pages.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace {
// Address space for the runs of a flood. Only the pages that runs have reached are resident, so a big
// block wastes at most the unused part of its last page, and runs pack without gaps.
constexpr qsizetype kBigBlock = 16 * HugePages::kSize;
// A page given back to the system: no run will ever use it again.
constexpr quint32 kGivenBack = std::numeric_limits<quint32>::max();

qsizetype systemPage()
{
    static const qsizetype page = std::max<qsizetype>(::sysconf(_SC_PAGESIZE), 4096);
    return page;
}
} // namespace

struct ByteRun::Block
{
    Block(qsizetype size, bool big, bool huge = true) : capacity(size), huge(huge)
    {
        if (big)
            data = HugePages::map(size, huge);
        mapped = data != nullptr;
        if (!mapped)
            data = static_cast<char *>(std::malloc(size_t(size)));
        if (!data)
            qBadAlloc();
        if (mapped)
            live.assign(size_t((size + systemPage() - 1) / systemPage()), 0);
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

    // Counts bytes of [from, from + count) as used by a run, or as no longer used (`sign` -1).
    void count(qsizetype from, qsizetype count, int sign)
    {
        const qsizetype page = systemPage();
        for (qsizetype at = from; at < from + count;) {
            const qsizetype end = std::min(from + count, (at / page + 1) * page);
            live[size_t(at / page)] += quint32(sign * (end - at));
            at = end;
        }
    }
    // The pages of [from, to) that no run uses any more go back to the system. Only pages wholly
    // below the free end: the page holding it may still take bytes, and nothing is ever written below.
    void giveBackPages(qsizetype from, qsizetype to)
    {
        const qsizetype page = systemPage();
        const qsizetype end = std::min((to + page - 1) / page, used / page);
        for (qsizetype p = from / page; p < end;) {
            if (live[size_t(p)] != 0) {
                ++p;
                continue;
            }
            qsizetype q = p;
            while (q < end && live[size_t(q)] == 0)
                live[size_t(q++)] = kGivenBack;
            ::madvise(data + p * page, size_t((q - p) * page), MADV_DONTNEED);
            givenBack += (q - p) * page;
            p = q;
        }
    }

    char *data = nullptr;
    qsizetype capacity = 0;
    qsizetype used = 0; // bytes taken by runs; the rest is free
    bool mapped = false;
    bool huge = true;          // asked to be backed by huge pages
    std::vector<quint32> live; // for a big block: bytes of living runs in each page
    qsizetype givenBack = 0;   // bytes of pages handed back to the system
};

ByteRun::~ByteRun()
{
    release();
}

ByteRun::ByteRun(ByteRun &&other) noexcept
    : m_block(std::move(other.m_block)), m_offset(other.m_offset), m_size(std::exchange(other.m_size, 0)),
      m_reserve(other.m_reserve), m_big(other.m_big)
{}

ByteRun &ByteRun::operator=(ByteRun &&other) noexcept
{
    if (this != &other) {
        release();
        m_block = std::move(other.m_block);
        m_offset = other.m_offset;
        m_size = std::exchange(other.m_size, 0);
        m_reserve = other.m_reserve;
        m_big = other.m_big;
    }
    return *this;
}

void ByteRun::release()
{
    if (m_block && m_block->mapped && m_size > 0) {
        m_block->count(m_offset, m_size, -1);
        m_block->giveBackPages(m_offset, m_offset + m_size);
    }
    m_block.reset();
    m_size = 0;
}

void ByteRun::abandon()
{
    if (m_block && m_block->mapped && m_size > 0)
        m_block->count(m_offset, m_size, -1);
    m_block.reset();
    m_size = 0;
}

bool ByteRun::giveBack()
{
    const bool atFreeEnd = m_block && m_block->mapped && m_offset + m_size == m_block->used;
    if (atFreeEnd) {
        m_block->count(m_offset, m_size, -1);
        m_block->used = m_offset;
        m_size = 0;
    }
    const bool nothingLeft = m_size == 0 || !m_block || !m_block->mapped;
    release();
    *this = ByteRun();
    return nothingLeft;
}

ByteRun ByteFlow::place(qsizetype reserve)
{
    ByteRun run;
    run.m_reserve = reserve;
    run.m_big = true;
    if (m_block && m_block->capacity - m_block->used >= reserve)
        run.m_block = m_block;
    else
        run.m_block = m_block = std::make_shared<ByteRun::Block>(
            std::max(kBigBlock, HugePages::roundUp(reserve)), true, m_hugePages);
    run.m_offset = run.m_block->used;
    return run;
}

void ByteFlow::follow(const ByteRun &run)
{
    if (run.m_block && run.m_block->mapped)
        m_block = run.m_block;
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
        if (block->mapped)
            block->count(0, m_size, 1);
        const qsizetype size = m_size;
        release();
        m_block = std::move(block);
        m_offset = 0;
        m_size = size;
    }
    return m_block->data + m_offset + m_size;
}

void ByteRun::commit(qsizetype count)
{
    if (m_block->mapped)
        m_block->count(m_offset + m_size, count, 1);
    m_size += count;
    m_block->used += count;
}

qsizetype ByteRun::heapBytes() const
{
    return m_block && !m_block->mapped ? m_block->capacity : 0;
}

const void *ByteRun::sharedBlock() const
{
    return m_block && m_block->mapped ? m_block.get() : nullptr;
}

qsizetype ByteRun::sharedBlockBytes() const
{
    if (!m_block || !m_block->mapped)
        return 0;
    return m_block->used - m_block->givenBack + qsizetype(m_block->live.size() * sizeof(quint32));
}

std::shared_ptr<ByteRun::Block> ByteRun::grownBlock(qsizetype needed) const
{
    // Half as much again, so a run that keeps growing (one endless line) is copied a bounded number
    // of times per byte.
    if (m_big)
        return std::make_shared<Block>(std::max(kBigBlock, HugePages::roundUp(needed + needed / 2)), true,
                                       m_block ? m_block->huge : true);
    return std::make_shared<Block>(std::max({needed, 2 * m_size, qsizetype(64)}), false);
}
