#include "line_flood.h"

#include <algorithm>

namespace {
constexpr int kNumberDigits = 8;

void writeLine(char *line, qint64 number)
{
    qint64 digits = number;
    for (int i = kNumberDigits - 1; i >= 0; --i, digits /= 10)
        line[i] = static_cast<char>('0' + digits % 10);
    line[kNumberDigits] = ' ';
    for (qint64 i = kNumberDigits + 1; i < LineFlood::kLineBytes - 2; ++i)
        line[i] = static_cast<char>('a' + (number + i) % 26);
    line[LineFlood::kLineBytes - 2] = '\r';
    line[LineFlood::kLineBytes - 1] = '\n';
}
} // namespace

QByteArray LineFlood::bytes(qint64 offset, qint64 size) const
{
    QByteArray result(size, Qt::Uninitialized);
    fill(result.data(), offset, size);
    return result;
}

void LineFlood::fill(char *out, qint64 offset, qint64 size) const
{
    char line[kLineBytes];
    qint64 done = 0;
    while (done < size) {
        const qint64 at = offset + done;
        writeLine(line, at / kLineBytes);
        const qint64 from = at % kLineBytes;
        const qint64 count = std::min(kLineBytes - from, size - done);
        std::copy_n(line + from, count, out + done);
        done += count;
    }
}

qint64 LineFlood::boxCharacters(qint64 offset, qint64 size)
{
    // Line breaks end at (n + 1) * kLineBytes; count the LFs inside the range.
    const auto lfsBefore = [](qint64 end) { return end / kLineBytes; };
    return size - (lfsBefore(offset + size) - lfsBefore(offset));
}
