// console-bench: how the console copes with floods on the serial line and on the TCP link (lines, Chinese,
// a line that never ends, random bytes, a window that stops reading for a while, more than a box may
// hold, in lines, bare line breaks or "AT" echoes), how the receive box answers with a huge log in it,
// how fast it starts, how fast a click reaches the line and how soon an answer is on screen. Run
// without arguments for every case, or name cases to run only those. With --check it runs each case
// that checks its bytes once and only says whether every byte arrived in order (exit 1 if not), for
// CI. Each run of a case is a fresh child process (`--case NAME BYTES`), so that every case starts
// from an idle process and its memory figures hold only what that case kept.
#include "cases.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTextStream>

#include <cstdio>

namespace {
constexpr qint64 kFloodBytes = 16 * kMiB;
constexpr qint64 kPauseBytes = 1 * kMiB;
// Half as much again as the ceiling the ceiling cases set holds when every character shown takes a
// byte, the least one can: lines show about a character a byte, breaks (CR LF, LF) two for three
// bytes, "AT" echoes seven for thirteen.
constexpr qint64 kPastCeilingBytes = 3 * kCeiling / 2;
constexpr qint64 kPastCeilingBreaks = kPastCeilingBytes * 3 / 2;
constexpr qint64 kPastCeilingEchoes = kPastCeilingBytes * 13 / 7;
constexpr int kChildTimeoutMs = 5 * 60 * 1000;

enum class Bound { None, AtLeast, AtMost, Yes };

struct Row
{
    const char *figure;
    const char *label;
    Bound bound;
    double limit;
};

struct Case
{
    const char *name;
    int runs;         // the figures are the median run; a byte lost in any run is lost
    qint64 size;      // what the case floods, if it does
    qint64 checkSize; // what --check floods, or 0 where the case has no byte check
    const char *title;
    std::vector<Row> rows;
    Figures (*run)(qint64 size);
};

const Row kIngest{"ingest_mibps", "ingest rate, MiB/s", Bound::None, 0};
const Row kPlain{"plain_mibps", "plain reader, same kind of source, MiB/s", Bound::None, 0};
const Row kRatio{"ratio_to_plain", "ratio to the plain reader", Bound::AtLeast, 0.8};
const Row kFirstRatio{"first_ratio_to_plain", "  first flood after start-up", Bound::None, 0};
const Row kGap{"gap_max_ms", "longest event-loop gap, ms", Bound::AtMost, 10};
const Row kMedianGap{"gap_median_ms", "median event-loop gap, ms", Bound::AtMost, 5};
const Row kRss{"rss_per_byte", "resident bytes per byte held", Bound::AtMost, 1.2};
const Row kKept{"kept", "every byte kept, in order", Bound::Yes, 0};
const Row kFreshTouch{"fresh_touch_mibps", "first touch of fresh memory, MiB/s", Bound::None, 0};

std::vector<Row> floodRows()
{
    return {{kIngest.figure, kIngest.label, Bound::AtLeast, 20},
            kPlain,
            kRatio,
            kFirstRatio,
            kGap,
            kMedianGap,
            kRss,
            kKept,
            kFreshTouch};
}

std::vector<Row> flatRows()
{
    return {
        {"first_mib_ms", "first MiB into the empty box, ms", Bound::None, 0},
        {"first_fastest_ms", "  fastest step, ms", Bound::None, 0},
        {"first_slowest_ms", "  slowest step, ms", Bound::None, 0},
        {"later_mib_ms", "one more MiB with 64 MiB held, ms", Bound::None, 0},
        {"later_fastest_ms", "  fastest step, ms", Bound::None, 0},
        {"later_slowest_ms", "  slowest step, ms", Bound::None, 0},
        {"flat_ratio", "ratio of the two", Bound::AtMost, 1.5},
        {"held_mib", "held at the end, MiB", Bound::None, 0},
        kRss,
    };
}

std::vector<Row> accessibleRows()
{
    return {{kIngest.figure, kIngest.label, Bound::AtLeast, 20},
            {kGap.figure, kGap.label, Bound::AtMost, 20},
            {"all_announced", "every character announced", Bound::Yes, 0}};
}

// Resident growth as a ratio to the ceiling, past a fixed allowance: the box may hold up to its
// ceiling and the process little more.
const Row kResidentRatio{"resident_ratio", "resident growth over the ceiling", Bound::AtMost, 1.1};

std::vector<Row> tcpCeilingRows()
{
    return {{"resident_mib", "resident growth at its most, MiB", Bound::None, 0},
            kResidentRatio,
            {"held_back", "the client held back at the ceiling", Bound::Yes, 0},
            {"kept", "every byte kept, in order, across the clearing", Bound::Yes, 0}};
}

std::vector<Row> serialCeilingRows()
{
    return {{"resident_mib", "resident growth, MiB", Bound::None, 0},
            kResidentRatio,
            {"held_mib", "memory the text takes, MiB", Bound::AtMost, double(kCeiling) / kMiB},
            {"kept", "the newest text, exactly, from a line start", Bound::Yes, 0}};
}

// A frame at 60 Hz is 16.7 ms: half of one for the typical answer, one (two with a flood beside it)
// for the slowest but one in a hundred.
std::vector<Row> answerRows(double p99Limit)
{
    return {{"answer_median_ms", "write to painted, median, ms", Bound::AtMost, 8},
            {"answer_p99_ms", "write to painted, 99th percentile, ms", Bound::AtMost, p99Limit},
            {"answer_max_ms", "write to painted, longest, ms", Bound::None, 0},
            {"in_box_p99_ms", "write to in the box, 99th percentile, ms", Bound::None, 0},
            {"gap_max_ms", "longest event-loop gap meanwhile, ms", Bound::None, 0},
            {"all_painted", "every answer painted", Bound::Yes, 0}};
}

const std::vector<Case> &cases()
{
    // clang-format off
    static const std::vector<Case> table = {
        {"serial-flood", 5, kFloodBytes, kFloodBytes,
         "Serial: 16 MiB of 80-column CR LF lines from a pty into Text3 (median of 5 runs)",
         [] {
             std::vector<Row> rows = floodRows();
             rows.push_back({"cpu_ms_per_mib", "CPU of the process per MiB taken, ms", Bound::None, 0});
             rows.push_back({"plain_cpu_ms_per_mib", "CPU of the plain reader per MiB, ms", Bound::None, 0});
             rows.push_back({"cpu_ratio_to_plain", "ratio of the two", Bound::AtMost, 2});
             return rows;
         }(),
         [](qint64 size) { return floodCase(Link::Serial, Shape::Lines, size); }},
        {"serial-flat", 1, 0, 0, "Serial: flat cost (medians of 9 one-MiB steps each)", flatRows(),
         [](qint64) { return flatCase(Link::Serial); }},
        {"serial-chinese", 3, kFloodBytes, kFloodBytes,
         "Serial: 16 MiB of Chinese lines (two bytes a character on the line) into Text3 (median of 3 runs)",
         {kGap,
          {kRss.figure, kRss.label, Bound::AtMost, 2.2},
          {"kept", "every character kept, in order", Bound::Yes, 0}},
         [](qint64 size) { return floodCase(Link::Serial, Shape::Chinese, size); }},
        {"serial-endless", 3, kFloodBytes, kFloodBytes,
         "Serial: 16 MiB with no line break from a pty into Text3 (median of 3 runs)",
         {kIngest, kPlain, kRatio, kFirstRatio, kGap, kRss, kKept},
         [](qint64 size) { return floodCase(Link::Serial, Shape::Endless, size); }},
        // Random bytes decode to text beyond Latin-1, held at two bytes a character, as Chinese is.
        {"serial-random", 3, kFloodBytes, kFloodBytes,
         "Serial: 16 MiB of random bytes (a module at the wrong baud rate) into Text3 (median of 3 runs)",
         {kIngest, kGap, {kRss.figure, kRss.label, Bound::AtMost, 2.2}, kKept},
         [](qint64 size) { return floodCase(Link::Serial, Shape::Random, size); }},
        {"serial-pause", 1, kPauseBytes, kPauseBytes,
         "Serial: 1 MiB written while the window's thread sleeps 1.3 s (as after \"发送TCPData\")",
         {{"held_back_ms", "writer held back, ms", Bound::AtMost, 100}, kKept}, &pauseCase},
        {"tcp-flood", 5, kFloodBytes, kFloodBytes,
         "TCP: 16 MiB in 1-64 KiB blocks from a loopback client into Text5 (median of 5 runs)",
         [] {
             std::vector<Row> rows = floodRows();
             rows.push_back({"arrivals", "log entries for the data", Bound::None, 0});
             return rows;
         }(),
         [](qint64 size) { return floodCase(Link::Tcp, Shape::Lines, size); }},
        {"tcp-flat", 1, 0, 0, "TCP: flat cost (medians of 9 one-MiB steps each)", flatRows(),
         [](qint64) { return flatCase(Link::Tcp); }},
        {"tcp-ceiling", 1, kPastCeilingBytes, kPastCeilingBytes,
         "TCP: 96 MiB of lines past a 64 MiB ceiling into Text5, cleared when it stops", tcpCeilingRows(),
         [](qint64 size) { return tcpCeilingCase(Shape::Lines, size); }},
        {"tcp-ceiling-breaks", 1, kPastCeilingBreaks, kPastCeilingBreaks,
         "TCP: 144 MiB of line breaks (CR LF, LF) past a 64 MiB ceiling into Text5, cleared when it stops",
         tcpCeilingRows(), [](qint64 size) { return tcpCeilingCase(Shape::Breaks, size); }},
        {"tcp-ceiling-at", 1, kPastCeilingEchoes, kPastCeilingEchoes,
         "TCP: 178 MiB of \"AT\" echoes past a 64 MiB ceiling into Text5, cleared when it stops",
         tcpCeilingRows(), [](qint64 size) { return tcpCeilingCase(Shape::AtEchoes, size); }},
        {"serial-ceiling", 1, kPastCeilingBytes, kPastCeilingBytes,
         "Serial: 96 MiB of lines past a 64 MiB ceiling into Text3", serialCeilingRows(),
         [](qint64 size) { return serialCeilingCase(Shape::Lines, size); }},
        {"serial-ceiling-breaks", 1, kPastCeilingBreaks, kPastCeilingBreaks,
         "Serial: 144 MiB of line breaks (CR LF, LF) past a 64 MiB ceiling into Text3", serialCeilingRows(),
         [](qint64 size) { return serialCeilingCase(Shape::Breaks, size); }},
        {"serial-ceiling-at", 1, kPastCeilingEchoes, kPastCeilingEchoes,
         "Serial: 178 MiB of \"AT\" echoes past a 64 MiB ceiling into Text3", serialCeilingRows(),
         [](qint64 size) { return serialCeilingCase(Shape::AtEchoes, size); }},
        {"startup", 1, 0, 0, "Start-up of esp8266-console, offscreen, 100-port probe (9 launches)",
         {{"shown_median_ms", "process start to window shown, median, ms", Bound::AtMost, 300},
          {"shown_max_ms", "process start to window shown, longest, ms", Bound::None, 0}},
         [](qint64) { return startupCase(); }},
        {"big-log", 1, 0, 0, "64 MiB in the serial receive box: each action until painted (slowest of 5)",
         {{"home_ms", "Ctrl+Home, ms", Bound::AtMost, 16},
          {"end_ms", "Ctrl+End, ms", Bound::AtMost, 16},
          {"page_up_ms", "PageUp, ms", Bound::AtMost, 16},
          {"page_down_ms", "PageDown, ms", Bound::AtMost, 16},
          {"click_ms", "click in the text, ms", Bound::AtMost, 16},
          {"type_ms", "a key typed at the end, ms", Bound::AtMost, 16},
          {"copy_ms", "select all + copy, until on the clipboard, ms", Bound::AtMost, 500},
          {"copy_gap_ms", "longest event-loop gap meanwhile, ms", Bound::AtMost, 100},
          {"copy_whole", "all of it on the clipboard", Bound::Yes, 0}},
         [](qint64) { return bigLogCase(); }},
        {"long-line", 1, 0, 0, "A line of 100 M characters in the serial receive box: each action until painted",
         {{"end_ms", "Ctrl+End, ms", Bound::AtMost, 16},
          {"home_ms", "Home, ms", Bound::AtMost, 16},
          {"line_end_ms", "End, ms", Bound::AtMost, 16},
          {"start_ms", "Ctrl+Home, ms", Bound::AtMost, 16},
          {"scroll_ms", "scroll to the very end, ms", Bound::AtMost, 16},
          {"click_ms", "click at the end, ms", Bound::AtMost, 16},
          {"select_ms", "Shift+Home, the whole line selected, ms", Bound::AtMost, 16},
          {"right", "caret, selection and scroll range where they must be", Bound::Yes, 0}},
         [](qint64) { return longLineCase(); }},
        {"wide-line", 1, 0, 0,
         "A line wider than 2^31 pixels in the serial receive box: each action until painted",
         {{"characters_m", "characters on the line, M", Bound::None, 0},
          {"width_ratio", "its width in the box's font, in 2^31 px", Bound::None, 0},
          {"end_ms", "Ctrl+End, ms", Bound::AtMost, 16},
          {"home_ms", "Home, ms", Bound::AtMost, 16},
          {"line_end_ms", "End, ms", Bound::AtMost, 16},
          {"click_ms", "click on the caret at the end, ms", Bound::AtMost, 16},
          {"scroll_ms", "scroll to the very end, ms", Bound::AtMost, 16},
          {"right", "caret and view where they must be", Bound::Yes, 0}},
         [](qint64) { return wideLineCase(); }},
        {"many-lines", 1, 0, 0, "200 M short lines in the serial receive box: each action until painted",
         {{"lines_m", "lines, M", Bound::None, 0},
          {"end_ms", "Ctrl+End, ms", Bound::AtMost, 16},
          {"start_ms", "Ctrl+Home, ms", Bound::AtMost, 16},
          {"scroll_ms", "scroll to the very end, ms", Bound::AtMost, 16},
          {"click_ms", "click in the middle, ms", Bound::AtMost, 16},
          {"caret_above", "caret at the start said to be above the view", Bound::Yes, 0},
          {"right", "caret and view where they must be", Bound::Yes, 0}},
         [](qint64) { return manyLinesCase(); }},
        {"mixed-scripts", 1, 0, 0,
         "2,000 lines of Latin, Chinese, Cyrillic, Arabic, Devanagari, marks and emoji pasted into Text3: "
         "each action until painted",
         {{"paste_ms", "Ctrl+V, ms", Bound::AtMost, 10},
          {"page_up_ms", "PageUp, ms", Bound::AtMost, 10},
          {"line_end_ms", "Down, End, ms", Bound::AtMost, 10},
          {"line_start_ms", "Down, Home, ms", Bound::AtMost, 10},
          {"sideways_ms", "PageDown, a page to the right, ms", Bound::AtMost, 10},
          {"right", "every line pasted, the view where the caret is", Bound::Yes, 0}},
         [](qint64) { return mixedScriptCase(); }},
        {"answer", 1, 0, 0,
         "A short answer on the serial line, 20-120 ms apart, until painted in Text3 (200 answers)",
         answerRows(17), [](qint64) { return answerCase(Link::Serial, false); }},
        {"answer-tcp", 1, 0, 0,
         "A short answer from a loopback TCP client, 20-120 ms apart, until painted in Text5 (200 answers)",
         answerRows(17), [](qint64) { return answerCase(Link::Tcp, false); }},
        {"answer-flood", 1, 0, 0,
         "The serial answers while a loopback TCP client floods Text5 with lines at 32 MiB/s (200 answers)",
         [] {
             std::vector<Row> rows = answerRows(33);
             rows.push_back({"flooded_mib", "characters into the flooded box meanwhile, Mi", Bound::None, 0});
             rows.push_back({"clear_max_ms", "longest clearing of the flooded box, ms", Bound::None, 0});
             rows.push_back({"flood_lasted", "the flood lasted until the last answer", Bound::Yes, 0});
             return rows;
         }(),
         [](qint64) { return answerCase(Link::Serial, true); }},
        {"click", 1, 0, 0, "Click on \"AT测试\" to bytes readable at the far end of the pty (300 clicks)",
         {{"click_median_ms", "median, ms", Bound::AtMost, 1},
          {"click_max_ms", "longest, ms", Bound::None, 0}},
         [](qint64) { return clickCase(); }},
        {"serial-flood-a11y", 3, kFloodBytes, 0,
         "Serial: the same flood with an accessibility client hearing every arrival (median of 3 runs)",
         accessibleRows(), [](qint64 size) { return accessibleCase(Link::Serial, size); }},
        {"tcp-flood-a11y", 3, kFloodBytes, 0,
         "TCP: the same flood with an accessibility client hearing every arrival (median of 3 runs)",
         accessibleRows(), [](qint64 size) { return accessibleCase(Link::Tcp, size); }},
    };
    // clang-format on
    return table;
}

const Case *findCase(const QString &name)
{
    for (const Case &c : cases()) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

// Runs one case in a child process; no figures when it failed.
Figures runChild(const Case &c, qint64 size)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--case"), QLatin1String(c.name), QString::number(size)});
    if (!child.waitForFinished(kChildTimeoutMs) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0) {
        child.kill();
        child.waitForFinished();
        return {};
    }
    Figures figures;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 3 && fields.first() == "figure")
            figures[QString::fromLatin1(fields.at(1))] = fields.at(2).toDouble();
    }
    return figures;
}

QString verdict(const Row &row, double value)
{
    const char *met =
        (row.bound == Bound::AtLeast ? value >= row.limit : value <= row.limit) ? "met" : "NOT MET";
    switch (row.bound) {
    case Bound::None:
        return QString();
    case Bound::AtLeast:
        return QStringLiteral(">= %1  %2").arg(row.limit).arg(met);
    case Bound::AtMost:
        return QStringLiteral("<= %1  %2").arg(row.limit).arg(met);
    case Bound::Yes:
        return QStringLiteral("yes  %1").arg(value > 0 ? "met" : "NOT MET");
    }
    return QString();
}

// Every case wanted, each run `runs` times, its figures against their targets.
int runCases(const std::vector<const Case *> &wanted)
{
    QTextStream out(stdout);
    QElapsedTimer total;
    total.start();
    out << "console-bench: medians on this machine; MiB = 2^20 bytes\n";
    bool allMet = true;
    for (const Case *c : wanted) {
        out << "\n" << QString::fromUtf8(c->title) << "\n" << Qt::flush;
        std::map<QString, std::vector<double>> values;
        int failed = 0;
        for (int i = 0; i < c->runs; ++i) {
            const Figures figures = runChild(*c, c->size);
            failed += figures.empty();
            for (const auto &[name, value] : figures)
                values[name].push_back(value);
        }
        if (failed > 0)
            out << "  " << failed << " of " << c->runs << " runs failed\n";
        for (const Row &row : c->rows) {
            const QString label = QString::fromLatin1(row.label).leftJustified(46);
            if (!values.count(row.figure)) {
                out << "  " << label << "  missing\n";
                allMet = false;
                continue;
            }
            const std::vector<double> &runs = values.at(row.figure);
            const double value = row.bound == Bound::Yes ? (failed ? 0 : minimum(runs)) : median(runs);
            const QString result = verdict(row, value);
            allMet = allMet && !result.endsWith(QLatin1String("NOT MET"));
            const QString shown = row.bound == Bound::Yes ? QString::fromLatin1(value > 0 ? "yes" : "no")
                                                          : QString::number(value, 'f', value < 10 ? 2 : 1);
            out << "  " << label << shown.rightJustified(9) << "   " << result << "\n";
        }
        out << Qt::flush;
    }
    out << "\n"
        << (allMet ? "every target met" : "some targets NOT met") << "; total time "
        << QString::number(double(total.elapsed()) / 1000, 'f', 1) << " s\n";
    return allMet ? 0 : 1;
}

// Each wanted case that checks its bytes, once: 0 when every byte reached its box in order, 1 otherwise.
int checkBytes(const std::vector<const Case *> &wanted)
{
    bool allKept = true;
    for (const Case *c : wanted) {
        if (c->checkSize == 0)
            continue;
        const Figures figures = runChild(*c, c->checkSize);
        const bool kept = figures.count("kept") && figures.at("kept") > 0;
        std::printf("%s: every byte kept, in order: %s\n", c->name, kept ? "yes" : "NO");
        std::fflush(stdout);
        allKept = allKept && kept;
    }
    return allKept ? 0 : 1;
}
} // namespace

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--case") == 0) {
        // One run of one case, in this process, with the real window; figures on standard output.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        const Case *c = findCase(QString::fromLocal8Bit(argv[2]));
        if (!c)
            return 2;
        for (const auto &[name, value] : c->run(QByteArray(argv[3]).toLongLong()))
            std::printf("figure %s %.10g\n", qPrintable(name), value);
        return 0;
    }
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool check = arguments.removeAll(QStringLiteral("--check")) > 0;
    std::vector<const Case *> wanted;
    for (const QString &name : arguments) {
        wanted.push_back(findCase(name));
        if (!wanted.back()) {
            std::fprintf(stderr, "no case %s\n", qPrintable(name));
            return 2;
        }
    }
    if (wanted.empty()) {
        for (const Case &c : cases())
            wanted.push_back(&c);
    }
    return check ? checkBytes(wanted) : runCases(wanted);
}
