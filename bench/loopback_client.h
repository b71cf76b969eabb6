#pragma once

#include <QtGlobal>

// A plain blocking TCP client on 127.0.0.1, sending without delay (each write leaves as its own
// segment, as a module's packets do).
class LoopbackClient
{
public:
    explicit LoopbackClient(quint16 port);
    ~LoopbackClient();
    LoopbackClient(const LoopbackClient &) = delete;
    LoopbackClient &operator=(const LoopbackClient &) = delete;

    int fd() const { return m_fd; }
    // No more data: the other side reads to the end and then sees the connection close.
    void finishSending();

private:
    int m_fd = -1;
};
