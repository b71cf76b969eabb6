#pragma once

#include "flood.h"

#include <QString>

#include <map>

// What one run of a case measured, as named numbers.
using Figures = std::map<QString, double>;

// A flood of `size` bytes into the box of a link: a bare reader on the same source, then two floods
// into one window, the box cleared between them. The first after start-up also grows the heap to
// the size a flood works in, page faults a virtual machine makes costly: it is shown, the second is
// judged. Memory is counted from before the first, so nothing the first one grew is left out.
Figures floodCase(Link link, Shape shape, qint64 size);
// The first MiB into an empty box against one more MiB with 64 MiB already there.
Figures flatCase(Link link);
// A flood into the empty box with an accessibility client hearing every arrival: it reads each
// announcement and asks where the caret went, and keeps nothing.
Figures accessibleCase(Link link, qint64 size);

// Bytes written into the serial line while the window's thread is blocked for as long as the
// "发送TCPData" handler pauses: how long the writer took, which is how long it was held back.
Figures pauseCase(qint64 size);
// The receive ceiling the ceiling cases give the window, in bytes of the memory its text takes.
constexpr qint64 kCeiling = 64 * kMiB;
// What the process may grow by while a box sits at its ceiling besides what the box counts against
// it: the fonts, the serial reader's backlog, socket buffers.
constexpr qint64 kResidentAllowance = 8 * kMiB;
// A loopback client sends `size` bytes of a shape, more than a box may hold: the box is cleared each
// time it stops growing. Resident growth at its most (as a ratio to the ceiling, past the allowance),
// whether the client was held back, and whether every byte arrived in order.
Figures tcpCeilingCase(Shape shape, qint64 size);
// The same over the serial line, with no clearing: the memory it took, the text held, and whether that
// is the newest text sent, exactly.
Figures serialCeilingCase(Shape shape, qint64 size);

// Process start to window shown, for the real console binary (offscreen, probing its 100 ports),
// timed by a probe plugin the binary loads at start-up.
Figures startupCase();
// Short answers ("+IPD,6:" and a number of its own each, CR LF) written at random moments into the
// serial line or by a loopback TCP client, each timed from its write to the end of the first paint of
// its box that shows it. With `flood`, a loopback TCP client floods the TCP box with lines meanwhile.
Figures answerCase(Link link, bool flood);
// A click on the "AT" button until the command is readable at the module's end of the serial line.
Figures clickCase();
// What a user does with 64 MiB in the serial receive box: jump to either end, page, click, type at the
// end, select everything and copy it.
Figures bigLogCase();
// A line of 100 M characters (tabs among them) in the serial box: moving, clicking, selecting and
// scrolling along it, each until painted, and whether each lands where it must.
Figures longLineCase();
// A line wider than 2^31 pixels in the serial box: its end, its start and a click on the caret.
Figures wideLineCase();
// 200 M short lines in the serial box: both ends, a click, and where the caret is said to be when it
// is far above the view.
Figures manyLinesCase();
// Lines in many scripts pasted into the serial box: the paste, and paging and scrolling through them.
Figures mixedScriptCase();
