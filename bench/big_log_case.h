#pragma once

#include "figures.h"

// What a user does with 64 MiB in the serial receive box: jump to either end, page, click, type at
// the end, select everything and copy it.
class BigLogCase
{
public:
    static Figures run();
};
