#include "serial/byte_ring.h"

#include <algorithm>
#include <cstring>
#include <new>

#include <sys/mman.h>

namespace {
constexpr qsizetype kFirstCapacity = 64 * 1024;
}

void ByteRing::push(const char *data, qsizetype count)
{
    Q_ASSERT(count <= room());
    if (count <= 0)
        return;
    if (m_size + count > m_capacity)
        grow(m_size + count);
    const qsizetype tail = (m_head + m_size) % m_capacity;
    const qsizetype first = std::min(count, m_capacity - tail);
    std::memcpy(m_data.get() + tail, data, size_t(first));
    std::memcpy(m_data.get(), data + first, size_t(count - first));
    m_size += count;
}

qsizetype ByteRing::pop(char *out, qsizetype max)
{
    const qsizetype count = std::min(max, m_size);
    if (count <= 0)
        return 0;
    copyOldest(out, count);
    m_size -= count;
    m_head = (m_head + count) % m_capacity;
    if (m_size == 0) {
        // Emptied, it starts over at the front: a reader that keeps up uses only the first pages.
        // A buffer grown for a backlog is given back once the backlog is gone.
        m_head = 0;
        if (m_capacity > kFirstCapacity)
            clear();
    }
    return count;
}

void ByteRing::Unmap::operator()(char *data) const
{
    ::munmap(data, size_t(size));
}

void ByteRing::clear()
{
    m_data.reset();
    m_capacity = m_head = m_size = 0;
}

void ByteRing::copyOldest(char *out, qsizetype count) const
{
    const qsizetype first = std::min(count, m_capacity - m_head);
    std::memcpy(out, m_data.get() + m_head, size_t(first));
    std::memcpy(out + first, m_data.get(), size_t(count - first));
}

void ByteRing::grow(qsizetype needed)
{
    qsizetype capacity = std::max(m_capacity, std::min(kFirstCapacity, m_limit));
    while (capacity < needed && capacity < m_limit)
        capacity = std::min(capacity * 2, m_limit);
    void *const mapped =
        ::mmap(nullptr, size_t(capacity), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        throw std::bad_alloc();
    std::unique_ptr<char, Unmap> data(static_cast<char *>(mapped), Unmap{capacity});
    if (m_size > 0)
        copyOldest(data.get(), m_size); // in order, from the front
    m_data = std::move(data);
    m_capacity = capacity;
    m_head = 0;
}
