#pragma once

#include "line_flood.h"

#include <atomic>
#include <functional>
#include <thread>

// Writes a stretch of the line flood to a file descriptor from its own thread, as fast as the
// descriptor takes it, in blocks whose sizes the caller chooses.
class FloodWriter
{
public:
    // The size of the next block, given how many bytes are still to go.
    using BlockSizes = std::function<qint64(qint64 remaining)>;
    static BlockSizes fixedBlocks(qint64 size);
    // Sizes drawn evenly from [low, high] with a fixed seed, so every run sends the same blocks.
    static BlockSizes randomBlocks(qint64 low, qint64 high);

    // whenWritten runs on the writer's thread once the last byte is written.
    FloodWriter(int fd, qint64 offset, qint64 size, BlockSizes blockSizes,
                std::function<void()> whenWritten = {});
    ~FloodWriter();
    FloodWriter(const FloodWriter &) = delete;
    FloodWriter &operator=(const FloodWriter &) = delete;

    // Blocks until every byte is written (or the descriptor failed).
    void join();
    bool failed() const { return m_failed; }

private:
    bool run(int fd, qint64 offset, qint64 size, const BlockSizes &blockSizes);

    std::atomic<bool> m_failed{false};
    std::thread m_thread;
};
