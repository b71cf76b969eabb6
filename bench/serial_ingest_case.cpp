#include "serial_ingest_case.h"

#include "flood_writer.h"
#include "loop_gauge.h"
#include "machine_memory.h"
#include "plain_reader.h"
#include "resident_memory.h"
#include "serial_session.h"
#include "statistics.h"

#include "textbox/text_box.h"

#include <memory>

namespace {
constexpr qint64 kFloodBytes = LineFlood::wholeLines(16 * LineFlood::kMiB);
constexpr qint64 kStepBytes = LineFlood::wholeLines(LineFlood::kMiB);
constexpr qint64 kFillBytes = LineFlood::wholeLines(64 * LineFlood::kMiB);
constexpr qint64 kWriteBlock = 64 * 1024;
constexpr int kSteps = 9;
constexpr auto kTimeout = std::chrono::seconds(90);

double mibPerSecond(qint64 bytes, double ms)
{
    return double(bytes) / LineFlood::kMiB / (ms / 1000);
}

// Sends bytes [offset, offset + size) into the port and runs the window until its receive box
// holds `expected` characters.
void ingest(SerialSession &session, LoopGauge &gauge, qint64 offset, qint64 size, qint64 expected)
{
    FloodWriter writer(session.pty().master(), offset, size, FloodWriter::fixedBlocks(kWriteBlock));
    const TextBox *box = session.receiveBox();
    if (!gauge.runUntil([&] { return box->length() == expected; }, kTimeout))
        qFatal("serial ingest stalled at %lld of %lld characters", static_cast<long long>(box->length()),
               static_cast<long long>(expected));
}

} // namespace

Figures SerialIngestCase::flood()
{
    Figures figures;
    figures.set(QStringLiteral("fresh_touch_mibps"), MachineMemory::back());
    const double plainRate = PlainReader::ptyRate(kFloodBytes);
    figures.set(QStringLiteral("plain_mibps"), plainRate);

    SerialSession session;
    LoopGauge gauge;
    gauge.settle();
    const qint64 idle = ResidentMemory::now();
    // The first flood after start-up also grows the heap to the size a flood works in, page faults
    // a virtual machine makes costly. It is shown; the second one, into the cleared box, is judged.
    const qint64 characters = LineFlood::boxCharacters(0, kFloodBytes);
    ingest(session, gauge, 0, kFloodBytes, characters);
    figures.set(QStringLiteral("first_ratio_to_plain"),
                mibPerSecond(kFloodBytes, gauge.elapsedMs()) / plainRate);
    session.fixture().click("Command5");
    gauge.settle();
    ingest(session, gauge, 0, kFloodBytes, characters);
    const double rate = mibPerSecond(kFloodBytes, gauge.elapsedMs());
    figures.set(QStringLiteral("ingest_mibps"), rate);
    figures.set(QStringLiteral("ratio_to_plain"), rate / plainRate);
    figures.set(QStringLiteral("gap_max_ms"), maximum(gauge.gapsMs()));
    figures.set(QStringLiteral("gap_median_ms"), median(gauge.gapsMs()));
    figures.set(QStringLiteral("rss_per_byte"), double(ResidentMemory::now() - idle) / kFloodBytes);
    figures.set(QStringLiteral("kept"),
                session.receiveBox()->text() == QString::fromLatin1(LineFlood().bytes(0, kFloodBytes)));
    return figures;
}

Figures SerialIngestCase::flatCost()
{
    Figures figures;
    SerialSession session;
    LoopGauge gauge;
    gauge.settle();

    qint64 offset = 0;
    std::vector<double> firstMs;
    // Each first MiB goes into a window of its own, and the windows before it stay open: a box cleared
    // and filled again would get back the pages it had just freed, still warm, while a growing log
    // takes pages it never had.
    std::vector<std::unique_ptr<SerialSession>> fresh;
    for (int i = 0; i < kSteps; ++i) {
        fresh.push_back(std::make_unique<SerialSession>());
        gauge.settle();
        ingest(*fresh.back(), gauge, offset, kStepBytes, LineFlood::boxCharacters(offset, kStepBytes));
        firstMs.push_back(gauge.elapsedMs());
        offset += kStepBytes;
    }
    const qint64 idle = ResidentMemory::now();

    session.fixture().click("Command5");
    const qint64 fillOffset = offset;
    qint64 held = kFillBytes;
    qint64 expected = LineFlood::boxCharacters(offset, kFillBytes);
    ingest(session, gauge, offset, kFillBytes, expected);
    offset += kFillBytes;
    std::vector<double> laterMs;
    for (int i = 0; i < kSteps; ++i) {
        expected += LineFlood::boxCharacters(offset, kStepBytes);
        ingest(session, gauge, offset, kStepBytes, expected);
        laterMs.push_back(gauge.elapsedMs());
        offset += kStepBytes;
        held += kStepBytes;
    }

    figures.set(QStringLiteral("first_mib_ms"), median(firstMs));
    figures.set(QStringLiteral("first_fastest_ms"), minimum(firstMs));
    figures.set(QStringLiteral("first_slowest_ms"), maximum(firstMs));
    figures.set(QStringLiteral("later_mib_ms"), median(laterMs));
    figures.set(QStringLiteral("later_fastest_ms"), minimum(laterMs));
    figures.set(QStringLiteral("later_slowest_ms"), maximum(laterMs));
    figures.set(QStringLiteral("flat_ratio"), median(laterMs) / median(firstMs));
    figures.set(QStringLiteral("held_mib"), double(held) / LineFlood::kMiB);
    figures.set(QStringLiteral("rss_per_byte"), double(ResidentMemory::now() - idle) / held);
    figures.set(QStringLiteral("kept"),
                session.receiveBox()->text() == QString::fromLatin1(LineFlood().bytes(fillOffset, held)));
    return figures;
}
