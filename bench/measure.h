#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

// The measuring helpers every case shares.

constexpr qint64 kMiB = 1 << 20;

// The turns of the event loop while a condition was awaited. A timer due every millisecond fires at
// the first turn after it is due, so the time between two firings is how long the window could not
// react to the user, or a millisecond when it was idle. Kept as the longest gap and a count of gaps by
// length, not a list: a list of them would be memory of the bench's own in what a case measures.
struct Turns
{
    static constexpr double kStepMs = 0.01;
    static constexpr int kSteps = 2000; // gaps of 20 ms and more share the last count

    bool done = false; // false when the time ran out first
    double elapsedMs = 0;
    double longestGapMs = 0;
    std::array<qint64, kSteps> gapCounts{};

    void addGap(double ms);
    double medianGapMs() const;
};
Turns runUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout);
// Lets the window finish what it was doing (start-up, a repaint) before anything is timed.
void settle(std::chrono::milliseconds time = std::chrono::milliseconds(300));

double median(std::vector<double> values);
double minimum(const std::vector<double> &values);
double maximum(const std::vector<double> &values);
// The value below which `share` (0 to 1) of the values lie: the 99th percentile is percentile(v, 0.99).
double percentile(std::vector<double> values, double share);
double mibPerSecond(qint64 bytes, double ms);
qint64 monotonicNs();
// CPU time this process has burnt so far, user and system, all its threads, in seconds.
double cpuSeconds();

// The resident memory of this process, in bytes.
qint64 residentBytes();

// Memory the machine has backed before anything is timed.
//
// On a virtual machine the host backs a page of the guest's memory only when the guest first touches
// it. On this kind of machine that first touch ran at about 440 MiB/s where memory already backed
// takes 15 GB/s, and which of the two a flood meets depends on what ran on the machine before. A
// console that keeps every byte grows into fresh memory, a bare reader never does, so without this
// the ratio between them measures the machine's history. A physical machine backs all its memory.
// Touches `bytes` (many times what one flood keeps) in huge pages, as the receive boxes take it, and
// gives it back; returns how fast the touch went, in MiB/s.
double backMachineMemory(qint64 bytes = 256 * kMiB);

enum class Link { Serial, Tcp };

// Where the writer takes each block from: the bytes made before the flood (none given), or made just
// before the block is sent, as a program that produces what it sends does: `make(out, offset, count)`
// writes bytes [offset, offset + count) of the flood. Both the console and the bare reader are fed
// by the same writer.
using BlockMaker = std::function<void(char *out, qint64 offset, qint64 count)>;

// Writes bytes to a descriptor from a thread of its own, as fast as the descriptor takes them; waits in
// poll() while a non-blocking descriptor is full. Into a serial line in blocks of 64 KiB, as a driver
// hands them over; into a TCP connection in blocks of 1 to 64 KiB drawn with a fixed seed (every run
// sends the same), each its own segment as a module's packets are, and then the sending side is shut
// so that the other side reads to the end and sees the connection close. A writer still held back when
// it is destroyed gives up.
class FloodWriter
{
public:
    FloodWriter(int fd, QByteArray bytes, Link link, BlockMaker make = {});
    ~FloodWriter();
    FloodWriter(const FloodWriter &) = delete;
    FloodWriter &operator=(const FloodWriter &) = delete;

    bool finished() const { return m_finishedNs > 0; }
    // From the first byte written to the last, or until now while it is still writing.
    double writingMs() const;

private:
    std::atomic<bool> m_stop{false};
    const qint64 m_startNs;
    std::atomic<qint64> m_finishedNs{0};
    std::thread m_thread;
};

// The physical limit: how fast a bare read() loop drains the same bytes, from the same writer, out of
// a pseudo-terminal or a loopback TCP connection, in MiB/s.
double bareRate(Link link, const QByteArray &bytes, const BlockMaker &make = {});
