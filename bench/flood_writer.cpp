#include "flood_writer.h"

#include <QByteArray>

#include <cerrno>
#include <memory>
#include <random>
#include <unistd.h>

FloodWriter::BlockSizes FloodWriter::fixedBlocks(qint64 size)
{
    return [size](qint64 remaining) { return std::min(size, remaining); };
}

FloodWriter::BlockSizes FloodWriter::randomBlocks(qint64 low, qint64 high)
{
    auto engine = std::make_shared<std::mt19937_64>(8266);
    return [engine, low, high](qint64 remaining) {
        std::uniform_int_distribution<qint64> pick(low, high);
        return std::min(pick(*engine), remaining);
    };
}

FloodWriter::FloodWriter(int fd, qint64 offset, qint64 size, BlockSizes blockSizes,
                         std::function<void()> whenWritten)
    : m_thread([this, fd, offset, size, blockSizes, whenWritten] {
          m_failed = !run(fd, offset, size, blockSizes);
          if (whenWritten)
              whenWritten();
      })
{}

FloodWriter::~FloodWriter()
{
    join();
}

void FloodWriter::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool FloodWriter::run(int fd, qint64 offset, qint64 size, const BlockSizes &blockSizes)
{
    const LineFlood flood;
    QByteArray block;
    qint64 done = 0;
    while (done < size) {
        const qint64 count = blockSizes(size - done);
        block.resize(count);
        flood.fill(block.data(), offset + done, count);
        qint64 written = 0;
        while (written < count) {
            const ssize_t n = ::write(fd, block.constData() + written, size_t(count - written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            written += n;
        }
        done += count;
    }
    return true;
}
