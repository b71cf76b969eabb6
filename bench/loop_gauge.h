#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <chrono>
#include <functional>
#include <vector>

// Runs the event loop until a condition holds, timing every turn: a zero-interval timer fires once
// per turn, so the time between two firings is how long the window could not react to the user.
class LoopGauge : public QObject
{
    Q_OBJECT

public:
    // False when the time ran out first.
    bool runUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout);
    // Lets the window finish what it was doing (start-up, a repaint) before anything is timed.
    void settle()
    {
        runUntil([] { return false; }, std::chrono::milliseconds(300));
    }

    // Gaps between consecutive turns during the last run, in milliseconds.
    const std::vector<double> &gapsMs() const { return m_gapsMs; }
    // Length of the last run, in milliseconds.
    double elapsedMs() const { return m_elapsedMs; }

private:
    std::vector<double> m_gapsMs;
    double m_elapsedMs = 0;
};
