#include "arrival_watcher.h"

#include <chrono>
#include <poll.h>
#include <unistd.h>

namespace {
constexpr int kPollMs = 50;
}

ArrivalWatcher::ArrivalWatcher(int fd) : m_thread([this, fd] { run(fd); }) {}

ArrivalWatcher::~ArrivalWatcher()
{
    m_stop = true;
    m_thread.join();
}

void ArrivalWatcher::run(int fd)
{
    char buffer[4096];
    while (!m_stop) {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, kPollMs) <= 0)
            continue;
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        m_lastArrivalNs = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
        ++m_arrivals;
        if (::read(fd, buffer, sizeof buffer) <= 0)
            return;
    }
}
