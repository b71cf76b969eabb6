#include "cases.h"

#include "atpanel/at_panel.h"
#include "platform/link_codec.h"
#include "platform/pause.h"
#include "support/accessibility_client.h"
#include "textbox/text_box.h"

#include <QTextLayout>

#include <memory>
#include <vector>

namespace {
constexpr qint64 kStepBytes = kMiB;
constexpr qint64 kFillBytes = 64 * kMiB;
constexpr int kSteps = 9;
// The window sees it still for this long once a box is held back at its ceiling.
constexpr qint64 kStillNs = 1'000'000'000;
// More than a flood past the ceiling needs, so that a box that never lets the rest in ends the case: a
// box of nothing but line breaks holds the fewest bytes of the flood.
constexpr int kMostClears = 16;

// Each character the bytes decode to, once.
QString distinctCharacters(const QByteArray &bytes)
{
    constexpr qsizetype kPiece = 64 * 1024;
    std::vector<bool> seen(0x10000);
    QString distinct;
    LinkDecoder decoder;
    for (qsizetype at = 0; at < bytes.size(); at += kPiece) {
        const QString text =
            decoder.decode(QByteArrayView(bytes).sliced(at, std::min(kPiece, bytes.size() - at)));
        for (const QChar c : text) {
            if (!seen[c.unicode()] && !c.isSurrogate() && c.isPrint()) {
                seen[c.unicode()] = true;
                distinct.append(c);
            }
        }
    }
    return distinct;
}
} // namespace

Figures floodCase(Link link, Shape shape, qint64 size)
{
    Figures figures;
    figures["fresh_touch_mibps"] = backMachineMemory();
    const QByteArray bytes = floodBytes(shape, size);
    // Lines are made as they are sent, as the program at the other end of a log makes them.
    const BlockMaker make = shape == Shape::Lines ? lineMaker() : BlockMaker();
    // CPU per MiB counts every thread of this process: for the bare reader the bench's writer and the
    // reading loop, for the console the same writer, the serial port's reading thread and the window's.
    const double bareCpuStart = cpuSeconds();
    const double bare = bareRate(link, bytes, make);
    figures["plain_mibps"] = bare;
    figures["plain_cpu_ms_per_mib"] = 1e3 * (cpuSeconds() - bareCpuStart) / (double(bytes.size()) / kMiB);

    Session session(link);
    // The fonts a flood's characters need are loaded once in a process, not per byte: every character
    // of the flood is laid out in the box's font, and a screenful shown, before anything is measured.
    QTextLayout fonts(distinctCharacters(bytes), session.box()->font());
    fonts.beginLayout();
    fonts.createLine();
    fonts.endLayout();
    session.box()->append(shownText(bytes.first(std::min<qsizetype>(bytes.size(), 4096))),
                          TextBox::Caret::ToEnd);
    settle();
    session.clear();
    settle();
    const qint64 idle = residentBytes();
    // A flood that did not all arrive in time is judged once, on the part that did.
    const auto received = [&](const Turns &turns) {
        return turns.done ? bytes.size()
                          : qint64(double(bytes.size()) * double(session.box()->length()) /
                                   double(shownLength(bytes)));
    };
    double cpuStart = cpuSeconds();
    Turns turns = session.ingest(bytes, make);
    figures["first_ratio_to_plain"] = mibPerSecond(received(turns), turns.elapsedMs) / bare;
    if (turns.done) {
        session.clear();
        settle();
        cpuStart = cpuSeconds();
        turns = session.ingest(bytes, make);
    }
    // The window's thread counts the turns of its event loop with a zero-interval timer, so it never
    // sleeps: whatever time the flood leaves it is counted too.
    figures["cpu_ms_per_mib"] = 1e3 * (cpuSeconds() - cpuStart) / (double(received(turns)) / kMiB);
    figures["cpu_ratio_to_plain"] = figures["cpu_ms_per_mib"] / figures["plain_cpu_ms_per_mib"];
    const double rate = mibPerSecond(received(turns), turns.elapsedMs);
    figures["ingest_mibps"] = rate;
    figures["ratio_to_plain"] = rate / bare;
    figures["gap_max_ms"] = turns.longestGapMs;
    figures["gap_median_ms"] = turns.medianGapMs();
    figures["rss_per_byte"] = double(residentBytes() - idle) / double(session.held(received(turns)));
    figures["kept"] = turns.done && session.holds(bytes);
    if (link == Link::Tcp)
        figures["arrivals"] = double(session.arrivals());
    return figures;
}

Figures flatCase(Link link)
{
    Session session(link);
    settle();
    qint64 offset = 0; // every stretch of lines a new one, starting where the last ended
    const auto next = [&offset](qint64 size) {
        const QByteArray bytes = floodBytes(Shape::Lines, size, offset);
        offset += bytes.size();
        return bytes;
    };
    std::vector<double> firstMs;
    // Each first MiB goes into a window of its own, and the windows before it stay open: a box cleared
    // and filled again would get back the pages it had just freed, still warm, while a growing log
    // takes pages it never had.
    std::vector<std::unique_ptr<Session>> fresh;
    for (int i = 0; i < kSteps; ++i) {
        fresh.push_back(std::make_unique<Session>(link));
        settle();
        firstMs.push_back(fresh.back()->fill(next(kStepBytes)).elapsedMs);
    }
    const qint64 idle = residentBytes();

    session.clear();
    const qint64 fillOffset = offset;
    session.fill(next(kFillBytes));
    std::vector<double> laterMs;
    for (int i = 0; i < kSteps; ++i)
        laterMs.push_back(session.fill(next(kStepBytes)).elapsedMs);

    const qint64 held = session.held(offset - fillOffset);
    return {
        {"first_mib_ms", median(firstMs)},
        {"first_fastest_ms", minimum(firstMs)},
        {"first_slowest_ms", maximum(firstMs)},
        {"later_mib_ms", median(laterMs)},
        {"later_fastest_ms", minimum(laterMs)},
        {"later_slowest_ms", maximum(laterMs)},
        {"flat_ratio", median(laterMs) / median(firstMs)},
        {"held_mib", double(held) / kMiB},
        {"rss_per_byte", double(residentBytes() - idle) / double(held)},
    };
}

Figures accessibleCase(Link link, qint64 size)
{
    const QByteArray bytes = floodBytes(Shape::Lines, size);
    Session session(link);
    settle();
    AccessibilityClient client(AccessibilityClient::Keep::Nothing);
    const Turns turns = session.ingest(bytes);
    return {
        {"ingest_mibps", mibPerSecond(bytes.size(), turns.elapsedMs)},
        {"gap_max_ms", turns.longestGapMs},
        // The client was told of every character that arrived.
        {"all_announced", turns.done && client.charactersHeard == session.box()->length()},
    };
}

Figures pauseCase(qint64 size)
{
    const QByteArray bytes = floodBytes(Shape::Lines, size);
    Session session(Link::Serial);
    settle();
    const qint64 expected = shownLength(bytes);
    const auto writer = session.send(bytes);
    // The window's thread stops as that handler stops it while the module's prompt comes.
    BlockingPause().pause(AtPanel::kDataPromptWait);
    const Turns turns = session.await([&] { return session.box()->length() == expected; });
    return {{"held_back_ms", writer->writingMs()}, {"kept", turns.done && session.holds(bytes)}};
}

Figures tcpCeilingCase(Shape shape, qint64 size)
{
    const QByteArray bytes = floodBytes(shape, size);
    Session session(Link::Tcp, kCeiling);
    LogCheck check(session.timestamp(), LinkDecoder().decode(bytes));
    TextBox *box = session.box();
    settle();
    const qint64 idle = residentBytes();
    qint64 peak = idle;
    bool heldBack = false;
    {
        const auto writer = session.send(bytes);
        qint64 length = -1;
        qint64 grewNs = 0;
        for (int clears = 0;; ++clears) {
            const Turns turns = session.await([&] {
                if (box->length() != length) {
                    length = box->length();
                    grewNs = monotonicNs();
                }
                return session.disconnected() || monotonicNs() - grewNs > kStillNs;
            });
            peak = std::max(peak, residentBytes());
            check.read(box->text());
            if (session.disconnected() || !turns.done || clears == kMostClears)
                break;
            // The box stopped growing: at the ceiling with the client still sending, it holds the client
            // back. The user clears it and the rest comes in.
            heldBack = heldBack || !writer->finished();
            session.clear();
        }
    }
    return {{"resident_mib", double(peak - idle) / kMiB},
            {"resident_ratio", double(peak - idle - kResidentAllowance) / double(kCeiling)},
            {"held_back", heldBack},
            {"kept", check.whole()}};
}

Figures serialCeilingCase(Shape shape, qint64 size)
{
    const QByteArray bytes = floodBytes(shape, size);
    Session session(Link::Serial, kCeiling);
    TextBox *box = session.box();
    settle();
    const qint64 idle = residentBytes();
    const auto writer = session.send(bytes);
    // All of it is in the box when the writer is done and the box has not changed for a while: while
    // bytes are on their way, every batch the window takes adds to the box, or drops the oldest eighth.
    qint64 length = -1;
    qint64 changedNs = 0;
    const auto arrived = [&] {
        if (box->length() != length) {
            length = box->length();
            changedNs = monotonicNs();
        }
        return writer->finished() && monotonicNs() - changedNs > kStillNs;
    };
    session.await(arrived);
    const bool done = arrived();
    const qint64 resident = residentBytes() - idle;
    // The box keeps the newest text, exactly, from the start of a line.
    const QString shown = box->toPlainText();
    const QString sent = shownText(bytes);
    const bool tail = done && !shown.isEmpty() && sent.endsWith(shown) &&
                      (shown.size() == sent.size() || sent.at(sent.size() - shown.size() - 1) == u'\n');
    return {{"resident_mib", double(resident) / kMiB},
            {"resident_ratio", double(resident - kResidentAllowance) / double(kCeiling)},
            {"held_mib", double(box->heldBytes()) / kMiB},
            {"kept", tail}};
}
