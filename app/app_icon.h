#pragma once

#include <QIcon>

// The application's icon, drawn in code at the eight sizes a desktop asks for (16 to 256 pixels).
QIcon appIcon();
