#pragma once

#include "figures.h"

// A click on the "AT" button until the command is readable at the module's end of the serial line.
class ClickCase
{
public:
    static Figures run();
};
