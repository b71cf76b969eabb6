#pragma once

#include <QtGlobal>

// Memory the machine has backed before anything is timed.
//
// On a virtual machine the host backs a page of the guest's memory only when the guest first touches
// it. On this kind of machine that first touch ran at about 440 MiB/s where memory already backed
// takes 15 GB/s, and which of the two a flood meets depends on what ran on the machine before. A
// console that keeps every byte grows into fresh memory, a plain reader never does, so without this
// the ratio between them measures the machine's history. A physical machine backs all its memory.
class MachineMemory
{
public:
    // What a flood case touches before it is timed: many times what one flood keeps.
    static constexpr qint64 kFloodBytes = qint64(256) * 1024 * 1024;

    // Touches `bytes` of fresh memory in huge pages, as the receive boxes take it, and gives it back.
    // Returns how fast the touch went, in MiB/s.
    static double back(qint64 bytes = kFloodBytes);
};
