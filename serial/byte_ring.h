#pragma once

#include <QtGlobal>

#include <memory>

// Bytes in arrival order, up to a fixed limit, in one buffer used round and round: a steady flood
// passes through the same pages instead of taking fresh ones. The buffer grows by doubling only as
// far as the bytes held ask for, never past the limit, and is given back once a backlog has been
// taken (or by clear()). Not locked: the owner guards it.
class ByteRing
{
public:
    explicit ByteRing(qsizetype limit) : m_limit(limit) {}

    qsizetype size() const { return m_size; }
    // How many more bytes fit under the limit.
    qsizetype room() const { return m_limit - m_size; }

    // Appends `count` bytes; `count` must fit in room().
    void push(const char *data, qsizetype count);
    // Moves up to `max` of the oldest bytes into `out` and returns how many it moved.
    qsizetype pop(char *out, qsizetype max);
    // Drops every byte and gives the buffer back.
    void clear();

private:
    void grow(qsizetype needed);
    void copyOldest(char *out, qsizetype count) const;

    const qsizetype m_limit;
    // Mapped from the system and unmapped when done with: memory from the heap would stay with the
    // process after a backlog, and a buffer grown to megabytes would count against every later flood.
    struct Unmap
    {
        qsizetype size;
        void operator()(char *data) const;
    };
    // Pages never written are not backed by memory: a large buffer costs only the bytes that reach it.
    std::unique_ptr<char, Unmap> m_data{nullptr, Unmap{0}};
    qsizetype m_capacity = 0;
    qsizetype m_head = 0; // the oldest byte
    qsizetype m_size = 0;
};
