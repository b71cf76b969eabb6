#pragma once

#include "figures.h"

// Process start to window shown, for the real console binary (offscreen, probing its 100 ports),
// timed by a probe plugin the binary loads at start-up.
class StartupCase
{
public:
    static Figures run();
};
