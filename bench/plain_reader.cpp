#include "plain_reader.h"

#include "flood_writer.h"
#include "loopback_client.h"
#include "pty_pair.h"

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
constexpr qint64 kBlock = 64 * 1024;

double rate(qint64 bytes, qint64 ns)
{
    return double(bytes) / LineFlood::kMiB / (double(ns) / 1e9);
}

// A listening socket on a free loopback port, closed on scope exit.
struct Listener
{
    Listener() : fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(fd, 1);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~Listener() { ::close(fd); }
    int fd;
    quint16 port = 0;
};
} // namespace

qint64 PlainReader::drain(int fd, qint64 size)
{
    std::vector<char> buffer(kBlock);
    qint64 total = 0;
    while (total < size) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n <= 0)
            break;
        total += n;
    }
    return total;
}

double PlainReader::ptyRate(qint64 size)
{
    PtyPair pty;
    QElapsedTimer clock;
    clock.start();
    FloodWriter writer(pty.master(), 0, size, FloodWriter::fixedBlocks(kBlock));
    const qint64 read = drain(pty.slave(), size);
    const qint64 ns = clock.nsecsElapsed();
    writer.join();
    return rate(read, ns);
}

double PlainReader::tcpRate(qint64 size)
{
    Listener listener;
    LoopbackClient client(listener.port);
    const int server = ::accept(listener.fd, nullptr, nullptr);
    QElapsedTimer clock;
    clock.start();
    FloodWriter writer(client.fd(), 0, size, FloodWriter::randomBlocks(1, kBlock));
    const qint64 read = drain(server, size);
    const qint64 ns = clock.nsecsElapsed();
    writer.join();
    ::close(server);
    return rate(read, ns);
}
