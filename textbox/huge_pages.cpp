#include "textbox/huge_pages.h"

#include <cstdint>

#include <sys/mman.h>

char *HugePages::map(qsizetype size, bool huge)
{
    void *mapped =
        ::mmap(nullptr, size_t(size + kSize), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kSize - 1) & ~std::uintptr_t(kSize - 1);
    if (aligned > start)
        ::munmap(mapped, aligned - start);
    const std::uintptr_t end = start + size + kSize;
    if (end > aligned + size)
        ::munmap(reinterpret_cast<void *>(aligned + size), end - (aligned + size));
    if (huge)
        advise(reinterpret_cast<void *>(aligned), size);
    return reinterpret_cast<char *>(aligned);
}

void HugePages::unmap(char *data, qsizetype size)
{
    ::munmap(data, size_t(size));
}

void HugePages::advise(void *data, qsizetype size)
{
#ifdef MADV_HUGEPAGE
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + kSize - 1) & ~std::uintptr_t(kSize - 1);
    const std::uintptr_t end = (start + size) & ~std::uintptr_t(kSize - 1);
    if (end > first)
        ::madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}
