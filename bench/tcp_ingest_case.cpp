#include "tcp_ingest_case.h"

#include "flood_writer.h"
#include "loop_gauge.h"
#include "loopback_client.h"
#include "machine_memory.h"
#include "plain_reader.h"
#include "resident_memory.h"
#include "statistics.h"
#include "tcp_log.h"
#include "tcp_session.h"

#include "textbox/text_box.h"

#include <memory>

namespace {
constexpr qint64 kFloodBytes = LineFlood::wholeLines(16 * LineFlood::kMiB);
constexpr qint64 kStepBytes = LineFlood::wholeLines(LineFlood::kMiB);
constexpr qint64 kFillBytes = LineFlood::wholeLines(64 * LineFlood::kMiB);
constexpr qint64 kLargestBlock = 64 * 1024;
constexpr int kSteps = 9;
constexpr auto kTimeout = std::chrono::seconds(90);

double mibPerSecond(qint64 bytes, double ms)
{
    return double(bytes) / LineFlood::kMiB / (ms / 1000);
}

bool endsWithDisconnection(const TextBox *box)
{
    const qsizetype lines = box->lineCount();
    return lines > 1 && box->lineText(lines - 1).isEmpty() &&
           box->lineText(lines - 2) == QStringLiteral("客户端断开");
}

// Every line break in the log stands for CR LF.
qint64 heldBytes(const TextBox *box)
{
    return box->length() + box->lineCount() - 1;
}

// A client connects, sends bytes [offset, offset + size) and closes; the window runs until the
// disconnection is logged after all of it.
void ingest(TcpSession &session, LoopGauge &gauge, qint64 offset, qint64 size)
{
    const TextBox *box = session.logBox();
    const qint64 least = box->length() + LineFlood::boxCharacters(offset, size);
    LoopbackClient client(session.port());
    FloodWriter writer(client.fd(), offset, size, FloodWriter::randomBlocks(1, kLargestBlock),
                       [&client] { client.finishSending(); });
    const auto done = [&] { return box->length() >= least && endsWithDisconnection(box); };
    if (!gauge.runUntil(done, kTimeout))
        qFatal("TCP ingest stalled at %lld characters", static_cast<long long>(box->length()));
}

} // namespace

Figures TcpIngestCase::flood()
{
    Figures figures;
    figures.set(QStringLiteral("fresh_touch_mibps"), MachineMemory::back());
    const double plainRate = PlainReader::tcpRate(kFloodBytes);
    figures.set(QStringLiteral("plain_mibps"), plainRate);

    TcpSession session;
    LoopGauge gauge;
    gauge.settle();
    const qint64 idle = ResidentMemory::now();
    // The first flood after start-up also grows the heap to the size a flood works in, a few hundred
    // page faults that cost a virtual machine 15 us each. It is shown; the second one is judged.
    ingest(session, gauge, 0, kFloodBytes);
    figures.set(QStringLiteral("first_ratio_to_plain"),
                mibPerSecond(kFloodBytes, gauge.elapsedMs()) / plainRate);
    session.fixture().click("Command7");
    gauge.settle();
    ingest(session, gauge, 0, kFloodBytes);
    const double rate = mibPerSecond(kFloodBytes, gauge.elapsedMs());
    const qint64 held = heldBytes(session.logBox());
    figures.set(QStringLiteral("ingest_mibps"), rate);
    figures.set(QStringLiteral("ratio_to_plain"), rate / plainRate);
    figures.set(QStringLiteral("gap_max_ms"), maximum(gauge.gapsMs()));
    figures.set(QStringLiteral("gap_median_ms"), median(gauge.gapsMs()));
    figures.set(QStringLiteral("rss_per_byte"), double(ResidentMemory::now() - idle) / held);

    const QString log = session.logBox()->text();
    const QString timestamp = session.fixture().clock.time.toString(QStringLiteral("yy-MM-dd HH:mm:ss"));
    figures.set(QStringLiteral("kept"),
                TcpLog::holdsExactly(log, timestamp, QString::fromLatin1(LineFlood().bytes(0, kFloodBytes))));
    figures.set(QStringLiteral("arrivals"), double(TcpLog::entries(log, timestamp) - 2));
    return figures;
}

Figures TcpIngestCase::flatCost()
{
    Figures figures;
    TcpSession session;
    LoopGauge gauge;
    gauge.settle();

    qint64 offset = 0;
    std::vector<double> firstMs;
    // Each first MiB goes into a window of its own, and the windows before it stay open: a box cleared
    // and filled again would get back the pages it had just freed, still warm, while a growing log
    // takes pages it never had.
    std::vector<std::unique_ptr<TcpSession>> fresh;
    for (int i = 0; i < kSteps; ++i) {
        fresh.push_back(std::make_unique<TcpSession>());
        gauge.settle();
        ingest(*fresh.back(), gauge, offset, kStepBytes);
        firstMs.push_back(gauge.elapsedMs());
        offset += kStepBytes;
    }
    const qint64 idle = ResidentMemory::now();

    session.fixture().click("Command7");
    ingest(session, gauge, offset, kFillBytes);
    offset += kFillBytes;
    std::vector<double> laterMs;
    for (int i = 0; i < kSteps; ++i) {
        ingest(session, gauge, offset, kStepBytes);
        laterMs.push_back(gauge.elapsedMs());
        offset += kStepBytes;
    }

    const qint64 held = heldBytes(session.logBox());
    figures.set(QStringLiteral("first_mib_ms"), median(firstMs));
    figures.set(QStringLiteral("first_fastest_ms"), minimum(firstMs));
    figures.set(QStringLiteral("first_slowest_ms"), maximum(firstMs));
    figures.set(QStringLiteral("later_mib_ms"), median(laterMs));
    figures.set(QStringLiteral("later_fastest_ms"), minimum(laterMs));
    figures.set(QStringLiteral("later_slowest_ms"), maximum(laterMs));
    figures.set(QStringLiteral("flat_ratio"), median(laterMs) / median(firstMs));
    figures.set(QStringLiteral("held_mib"), double(held) / LineFlood::kMiB);
    figures.set(QStringLiteral("rss_per_byte"), double(ResidentMemory::now() - idle) / held);
    return figures;
}
