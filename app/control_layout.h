#pragma once

#include <QStringList>

#include <vector>

// The window's controls as data: every control with its kind, container, caption or initial text,
// place and size in twips (1/1440 inch; 15 twips make a pixel at 96 DPI), keyboard order and state.

enum class ControlKind { Frame, Label, ComboBox, Button, LineEdit, TextBox, Line };

struct ControlEntry
{
    const char *name;
    ControlKind kind;
    const char *container; // nullptr: the window itself
    const char *caption;   // UTF-8; caption, or initial text
    int left;              // a line runs from (left, top) to (left + width, top)
    int top;
    int width;
    int height;
    int tabIndex; // -1: takes no part in the keyboard order
    bool enabled = true;
    const char *toolTip = nullptr;
};

constexpr int kTwipsPerPixel = 15;
constexpr int kClientWidthTwips = 9315;
constexpr int kClientHeightTwips = 8385;

extern const std::vector<ControlEntry> kControlLayout;

// The baud-rate list, in the order shown.
QStringList baudRates();
