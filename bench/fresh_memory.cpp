#include "fresh_memory.h"

#include <malloc.h>

void FreshMemory::giveBack()
{
    ::malloc_trim(0);
}
