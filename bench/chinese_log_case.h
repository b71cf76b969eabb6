#pragma once

#include "figures.h"

// The serial receive box holding a log of Chinese text, two bytes a character on the line: what
// it costs in memory against the plain ASCII flood, and that every character survives.
class ChineseLogCase
{
public:
    static Figures run();
};
