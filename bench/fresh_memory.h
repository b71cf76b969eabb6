#pragma once

// Hands the memory a cleared box freed back to the system. Without it the next text would reuse
// pages that are already mapped, and a MiB measured after clearing would cost less than the very
// first MiB did, which had to fault in every page it filled.
class FreshMemory
{
public:
    static void giveBack();
};
