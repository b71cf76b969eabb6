#pragma once

#include "textbox/advances.h"

#include <unordered_map>

class TextStore;

// Where positions lie on the lines too long to lay out whole, and the position nearest an x there, in
// 1/64 pixel of one font's advances. A long line spans many chunks of the store: for each chunk, how its
// part of a line that goes on into the next chunk moves the pen is measured once and kept (keyed by
// the chunk, which the store never reuses), so both answers cost what one chunk costs plus a step per
// chunk the line spans. A line that never ends is measured as it grows, a piece at a time.
class LineMeasures
{
public:
    // Measures with these advances from now on; what was kept with others goes.
    void reset(const Advances *advances);

    qint64 xOnLine(const TextStore &store, qsizetype position);
    qsizetype positionOnLine(const TextStore &store, qsizetype line, qint64 x);
    // Measures what arrived on the last line since the last call, so that going to the end of a line
    // that never ends never measures it whole.
    void measureLastLine(const TextStore &store);

private:
    // The part of a chunk after its last line break, measured up to `measuredTo`.
    struct Tail
    {
        Advances::Run run;
        qsizetype measuredTo = 0;
    };

    Advances::Run measure(const TextStore &store, qsizetype chunk, qsizetype from, qsizetype count) const;
    Advances::Run tailRun(const TextStore &store, qsizetype chunk);
    void forgetGoneChunks(const TextStore &store);

    const Advances *m_advances = nullptr;
    std::unordered_map<quint64, Tail> m_tails;
};
