#pragma once

#include "figures.h"

// The serial receive box under a flood of 80-column lines from a pseudo-terminal.
class SerialIngestCase
{
public:
    // 16 MiB into the empty box: rate against a plain reader, event-loop gaps, memory, exactness.
    static Figures flood();
    // The first MiB into an empty box against one more MiB with 64 MiB already there.
    static Figures flatCost();
};
