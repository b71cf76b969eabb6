#pragma once

#include <QIcon>

// The application's icon at the eight sizes a desktop asks for (16 to 256 pixels), rendered at build
// time from the same drawing as the installed icon theme files.
QIcon appIcon();
