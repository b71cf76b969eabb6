#pragma once

#include <QtGlobal>

#include <atomic>
#include <thread>

// Watches the far end of a pseudo-terminal from its own thread and notes the monotonic time at
// which bytes become readable there; what arrives is read and dropped.
class ArrivalWatcher
{
public:
    explicit ArrivalWatcher(int fd);
    ~ArrivalWatcher();
    ArrivalWatcher(const ArrivalWatcher &) = delete;
    ArrivalWatcher &operator=(const ArrivalWatcher &) = delete;

    // How many times bytes have become readable, and when that last happened.
    int arrivals() const { return m_arrivals; }
    qint64 lastArrivalNs() const { return m_lastArrivalNs; }

private:
    void run(int fd);

    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_lastArrivalNs{0};
    std::atomic<int> m_arrivals{0};
    std::thread m_thread;
};
