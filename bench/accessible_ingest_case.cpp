#include "accessible_ingest_case.h"

#include "flood_writer.h"
#include "loop_gauge.h"
#include "loopback_client.h"
#include "serial_session.h"
#include "statistics.h"
#include "tcp_session.h"

#include "support/accessibility_client.h"
#include "textbox/text_box.h"

namespace {
constexpr qint64 kFloodBytes = LineFlood::wholeLines(16 * LineFlood::kMiB);
constexpr qint64 kWriteBlock = 64 * 1024;
constexpr qint64 kLargestBlock = 64 * 1024;
constexpr auto kTimeout = std::chrono::seconds(90);

double mibPerSecond(qint64 bytes, double ms)
{
    return double(bytes) / LineFlood::kMiB / (ms / 1000);
}
} // namespace

Figures AccessibleIngestCase::serial()
{
    Figures figures;
    {
        SerialSession session;
        LoopGauge gauge;
        gauge.settle();
        AccessibilityClient client(false);
        FloodWriter writer(session.pty().master(), 0, kFloodBytes, FloodWriter::fixedBlocks(kWriteBlock));
        const TextBox *box = session.receiveBox();
        const qint64 expected = LineFlood::boxCharacters(0, kFloodBytes);
        if (!gauge.runUntil([&] { return box->length() == expected; }, kTimeout))
            qFatal("serial ingest stalled at %lld characters", static_cast<long long>(box->length()));
        figures.set(QStringLiteral("ingest_mibps"), mibPerSecond(kFloodBytes, gauge.elapsedMs()));
        figures.set(QStringLiteral("gap_max_ms"), maximum(gauge.gapsMs()));
        // The client was told of every character that arrived.
        figures.set(QStringLiteral("all_announced"), client.charactersHeard == expected ? 1 : 0);
    }
    return figures;
}

Figures AccessibleIngestCase::tcp()
{
    Figures figures;
    {
        TcpSession session;
        LoopGauge gauge;
        gauge.settle();
        AccessibilityClient client(false);
        const TextBox *box = session.logBox();
        // Everything sent, then the disconnection entry, one line each side of the data.
        const qint64 least = box->length() + LineFlood::boxCharacters(0, kFloodBytes);
        LoopbackClient peer(session.port());
        FloodWriter writer(peer.fd(), 0, kFloodBytes, FloodWriter::randomBlocks(1, kLargestBlock),
                           [&peer] { peer.finishSending(); });
        const auto done = [&] {
            const qsizetype lines = box->lineCount();
            return box->length() >= least && lines > 1 &&
                   box->lineText(lines - 2) == QStringLiteral("客户端断开");
        };
        if (!gauge.runUntil(done, kTimeout))
            qFatal("TCP ingest stalled at %lld characters", static_cast<long long>(box->length()));
        figures.set(QStringLiteral("ingest_mibps"), mibPerSecond(kFloodBytes, gauge.elapsedMs()));
        figures.set(QStringLiteral("gap_max_ms"), maximum(gauge.gapsMs()));
        figures.set(QStringLiteral("all_announced"), client.charactersHeard == box->length() ? 1 : 0);
    }
    return figures;
}
