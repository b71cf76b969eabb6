#pragma once

#include "figures.h"

// The TCP log box under a flood of 80-column lines from a loopback client, in blocks of 1 to 64 KiB.
class TcpIngestCase
{
public:
    // 16 MiB over one connection: rate against a plain reader, event-loop gaps, memory, exactness.
    static Figures flood();
    // One MiB into an empty log against one more MiB with 64 MiB already there.
    static Figures flatCost();
};
