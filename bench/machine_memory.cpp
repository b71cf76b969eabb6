#include "machine_memory.h"

#include "textbox/huge_pages.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {
constexpr qint64 kPage = 4096;
}

double MachineMemory::back(qint64 bytes)
{
    const qint64 size = HugePages::roundUp(bytes);
    char *data = HugePages::map(size);
    if (!data)
        return 0;
    QElapsedTimer clock;
    clock.start();
    for (qint64 at = 0; at < size; at += kPage)
        static_cast<volatile char *>(data)[at] = 1;
    const qint64 ns = std::max<qint64>(clock.nsecsElapsed(), 1);
    HugePages::unmap(data, size);
    return double(size) / (1024 * 1024) / (double(ns) / 1e9);
}
