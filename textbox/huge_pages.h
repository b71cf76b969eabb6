#pragma once

#include <QtGlobal>

// Memory the kernel may back with huge pages: one page fault per 2 MiB instead of one per 4 KiB. On a
// virtual machine each fault is costly, and a flood or the copy of a big log takes fresh memory by the
// tens of MiB. Where the system has no huge pages this is ordinary memory.
namespace HugePages {
inline constexpr qsizetype kSize = 2 * 1024 * 1024; // one huge page on x86-64 and most arm64 kernels

inline qsizetype roundUp(qsizetype size)
{
    return (size + kSize - 1) / kSize * kSize;
}
// `size` bytes (whole huge pages) aligned to a huge page, or null when the system gives none. Backed by
// huge pages where `huge`, else by ordinary pages: memory that fills slowly would take a whole huge page
// for its first bytes.
char *map(qsizetype size, bool huge = true);
void unmap(char *data, qsizetype size);
// Asks for huge pages in the whole huge pages inside [data, data + size), memory not yet touched.
void advise(void *data, qsizetype size);
} // namespace HugePages
