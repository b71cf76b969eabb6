#pragma once

#include "figures.h"

// The serial and TCP floods again, with an accessibility client listening: every arrival is
// announced to it, and it reads each announcement and asks where the caret went.
class AccessibleIngestCase
{
public:
    // Each 16 MiB into the empty receive box: rate, longest event-loop gap, every arrival announced.
    static Figures serial();
    static Figures tcp();
};
