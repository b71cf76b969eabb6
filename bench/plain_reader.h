#pragma once

#include <QtGlobal>

// The physical limit: how fast a bare read() loop drains the same flood, from the same writer, out
// of a pseudo-terminal or a loopback TCP connection. Rates in MiB/s.
class PlainReader
{
public:
    static double ptyRate(qint64 size);
    static double tcpRate(qint64 size);

private:
    static qint64 drain(int fd, qint64 size);
};
