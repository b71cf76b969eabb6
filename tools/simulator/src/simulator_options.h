#pragma once

#include <chrono>

// Start-up settings of the simulated module; a plain value so tests can build one inline.
struct SimulatorOptions
{
    // Rate the simulated UART runs at; a console whose line is set to another rate gets garbage.
    int baud = 115200;
    // Echo state after power-up and after AT+RST.
    bool echo = true;
    // How long the slow commands keep the module busy.
    std::chrono::milliseconds joinDelay{300};
    std::chrono::milliseconds resetDelay{200};
    std::chrono::milliseconds scanDelay{200};
    std::chrono::milliseconds connectTimeout{5000};
};
