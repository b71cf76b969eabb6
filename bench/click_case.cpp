#include "click_case.h"

#include "arrival_watcher.h"
#include "loop_gauge.h"
#include "serial_session.h"
#include "statistics.h"

#include <chrono>

namespace {
constexpr int kClicks = 300;
constexpr auto kBetweenClicks = std::chrono::milliseconds(3);
constexpr auto kTimeout = std::chrono::seconds(2);

qint64 monotonicNs()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}
} // namespace

Figures ClickCase::run()
{
    SerialSession session;
    ArrivalWatcher watcher(session.pty().master());
    LoopGauge gauge;
    std::vector<double> latencies;
    for (int i = 0; i < kClicks; ++i) {
        // Let the window finish what the last click started (repainting the send box).
        gauge.runUntil([] { return false; }, kBetweenClicks);
        const int before = watcher.arrivals();
        const qint64 clickNs = monotonicNs();
        session.fixture().click("Command8");
        if (!gauge.runUntil([&] { return watcher.arrivals() > before; }, kTimeout))
            qFatal("the AT command never reached the line");
        latencies.push_back(double(watcher.lastArrivalNs() - clickNs) / 1e6);
    }
    Figures figures;
    figures.set(QStringLiteral("click_median_ms"), median(latencies));
    figures.set(QStringLiteral("click_max_ms"), maximum(latencies));
    return figures;
}
