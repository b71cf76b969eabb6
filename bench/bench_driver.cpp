#include "bench_driver.h"

#include "statistics.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTextStream>

#include <cstdio>
#include <map>

namespace {
constexpr int kChildTimeoutMs = 170000;

enum class Bound { None, AtLeast, AtMost, Yes };

struct Row
{
    const char *figure;
    const char *label;
    Bound bound;
    double limit;
};

struct Section
{
    const char *caseName;
    int runs;
    const char *title;
    std::vector<Row> rows;
};

std::vector<Row> floodRows()
{
    return {
        {"ingest_mibps", "ingest rate, MiB/s", Bound::AtLeast, 20},
        {"plain_mibps", "plain reader, same kind of source, MiB/s", Bound::None, 0},
        {"ratio_to_plain", "ratio to the plain reader", Bound::AtLeast, 0.8},
        {"first_ratio_to_plain", "  first flood after start-up", Bound::None, 0},
        {"gap_max_ms", "longest event-loop gap, ms", Bound::AtMost, 10},
        {"gap_median_ms", "median event-loop gap, ms", Bound::AtMost, 5},
        {"rss_per_byte", "resident bytes per byte held", Bound::AtMost, 1.2},
        {"kept", "every byte kept, in order", Bound::Yes, 0},
        {"fresh_touch_mibps", "first touch of fresh memory, MiB/s", Bound::None, 0},
    };
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
        {"rss_per_byte", "resident bytes per byte held", Bound::AtMost, 1.2},
    };
}

std::vector<Row> a11yRows()
{
    return {
        {"ingest_mibps", "ingest rate, MiB/s", Bound::AtLeast, 20},
        {"gap_max_ms", "longest event-loop gap, ms", Bound::AtMost, 20},
        {"all_announced", "every character announced", Bound::Yes, 0},
    };
}

std::vector<Section> sections()
{
    std::vector<Row> tcpFlood = floodRows();
    tcpFlood.push_back({"arrivals", "log entries for the data", Bound::None, 0});
    return {
        {"serial-flood", 5,
         "Serial: 16 MiB of 80-column CR LF lines from a pty into Text3 (median of 5 runs)", floodRows()},
        {"serial-flat", 1, "Serial: flat cost (medians of 9 one-MiB steps each)", flatRows()},
        {"serial-chinese",
         1,
         "Serial: 16 MiB of Chinese lines (two bytes a character on the line) into Text3",
         {{"rss_per_byte", "resident bytes per byte held", Bound::AtMost, 2.2},
          {"kept", "every character kept, in order", Bound::Yes, 0}}},
        {"tcp-flood", 5,
         "TCP: 16 MiB in 1-64 KiB blocks from a loopback client into Text5 (median of 5 runs)", tcpFlood},
        {"tcp-flat", 1, "TCP: flat cost (medians of 9 one-MiB steps each)", flatRows()},
        {"startup",
         1,
         "Start-up of esp8266-console, offscreen, 100-port probe (9 launches)",
         {{"shown_median_ms", "process start to window shown, median, ms", Bound::AtMost, 300},
          {"shown_max_ms", "process start to window shown, longest, ms", Bound::None, 0}}},
        {"big-log",
         1,
         "64 MiB in the serial receive box: each action until painted (slowest of 5)",
         {{"home_ms", "Ctrl+Home, ms", Bound::AtMost, 16},
          {"end_ms", "Ctrl+End, ms", Bound::AtMost, 16},
          {"page_up_ms", "PageUp, ms", Bound::AtMost, 16},
          {"page_down_ms", "PageDown, ms", Bound::AtMost, 16},
          {"click_ms", "click in the text, ms", Bound::AtMost, 16},
          {"type_ms", "a key typed at the end, ms", Bound::AtMost, 16},
          {"copy_ms", "select all + copy, until on the clipboard, ms", Bound::AtMost, 500},
          {"copy_gap_ms", "longest event-loop gap meanwhile, ms", Bound::AtMost, 100},
          {"copy_whole", "all of it on the clipboard", Bound::Yes, 0}}},
        {"click",
         1,
         "Click on \"AT测试\" to bytes readable at the far end of the pty (300 clicks)",
         {{"click_median_ms", "median, ms", Bound::AtMost, 1},
          {"click_max_ms", "longest, ms", Bound::None, 0}}},
        {"serial-flood-a11y", 3,
         "Serial: the same flood with an accessibility client hearing every arrival (median of 3 runs)",
         a11yRows()},
        {"tcp-flood-a11y", 3,
         "TCP: the same flood with an accessibility client hearing every arrival (median of 3 runs)",
         a11yRows()},
    };
}

QString verdict(const Row &row, double value)
{
    switch (row.bound) {
    case Bound::None:
        return QString();
    case Bound::AtLeast:
        return QStringLiteral(">= %1  %2").arg(row.limit).arg(value >= row.limit ? "met" : "NOT MET");
    case Bound::AtMost:
        return QStringLiteral("<= %1  %2").arg(row.limit).arg(value <= row.limit ? "met" : "NOT MET");
    case Bound::Yes:
        return QStringLiteral("yes  %1").arg(value > 0 ? "met" : "NOT MET");
    }
    return QString();
}

QString shown(const Row &row, double value)
{
    if (row.bound == Bound::Yes)
        return value > 0 ? QStringLiteral("yes") : QStringLiteral("no");
    return QString::number(value, 'f', value < 10 ? 2 : 1);
}
} // namespace

BenchDriver::BenchDriver(QString program, QStringList onlyCases)
    : m_program(std::move(program)), m_onlyCases(std::move(onlyCases))
{}

bool BenchDriver::wanted(const QString &name) const
{
    return m_onlyCases.isEmpty() || m_onlyCases.contains(name);
}

int BenchDriver::run()
{
    QTextStream out(stdout);
    QElapsedTimer total;
    total.start();
    out << "console-bench: medians on this machine; MiB = 2^20 bytes\n";
    bool allMet = true;
    for (const Section &section : sections()) {
        if (!wanted(QString::fromLatin1(section.caseName)))
            continue;
        out << "\n" << QString::fromUtf8(section.title) << "\n" << Qt::flush;
        const Figures figures = runCase(QString::fromLatin1(section.caseName), section.runs);
        for (const Row &row : section.rows) {
            const QString name = QString::fromLatin1(row.figure);
            if (!figures.has(name)) {
                out << "  " << QString::fromLatin1(row.label).leftJustified(46) << "  missing\n";
                allMet = false;
                continue;
            }
            const double value = figures.value(name);
            const QString result = verdict(row, value);
            allMet = allMet && !result.endsWith(QStringLiteral("NOT MET"));
            out << "  " << QString::fromLatin1(row.label).leftJustified(46)
                << shown(row, value).rightJustified(9) << "   " << result << "\n";
        }
        out << Qt::flush;
    }
    out << "\n"
        << (allMet ? "every target met" : "some targets NOT met") << "; total time "
        << QString::number(double(total.elapsed()) / 1000, 'f', 1) << " s\n";
    return allMet ? 0 : 1;
}

int BenchDriver::checkFloods() const
{
    bool allKept = true;
    for (const char *name : {"serial-flood", "tcp-flood"}) {
        const Figures figures = runChild(QString::fromLatin1(name));
        const bool kept = figures.has(QStringLiteral("kept")) && figures.value(QStringLiteral("kept")) > 0;
        std::printf("%s: every byte kept, in order: %s\n", name, kept ? "yes" : "NO");
        allKept = allKept && kept;
    }
    return allKept ? 0 : 1;
}

Figures BenchDriver::runCase(const QString &name, int runs) const
{
    std::map<QString, std::vector<double>> values;
    for (int i = 0; i < runs; ++i) {
        const Figures figures = runChild(name);
        for (const QString &figure : figures.names())
            values[figure].push_back(figures.value(figure));
    }
    Figures summary;
    for (const auto &[figure, runValues] : values) {
        // A byte lost in any run is lost; everything else is the median run.
        const bool all = figure == QStringLiteral("kept");
        summary.set(figure, all ? *std::min_element(runValues.begin(), runValues.end()) : median(runValues));
    }
    return summary;
}

Figures BenchDriver::runChild(const QString &name) const
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(m_program, {QStringLiteral("--case"), name});
    if (!child.waitForFinished(kChildTimeoutMs) || child.exitCode() != 0) {
        child.kill();
        child.waitForFinished();
        return Figures();
    }
    return Figures::fromText(QString::fromUtf8(child.readAllStandardOutput()));
}
