#include "loop_gauge.h"

#include <QEventLoop>
#include <QTimer>

bool LoopGauge::runUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    m_gapsMs.clear();
    QEventLoop loop;
    QTimer turn;
    turn.setInterval(0);
    QElapsedTimer clock;
    qint64 lastTurnNs = 0;
    bool finished = false;
    connect(&turn, &QTimer::timeout, &loop, [&] {
        const qint64 nowNs = clock.nsecsElapsed();
        m_gapsMs.push_back(double(nowNs - lastTurnNs) / 1e6);
        lastTurnNs = nowNs;
        if (done()) {
            finished = true;
            loop.quit();
        } else if (nowNs > std::chrono::nanoseconds(timeout).count()) {
            loop.quit();
        }
    });
    clock.start();
    turn.start();
    loop.exec();
    m_elapsedMs = double(clock.nsecsElapsed()) / 1e6;
    return finished;
}
