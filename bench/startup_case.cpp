#include "startup_case.h"

#include "statistics.h"

#include <QProcess>
#include <QRegularExpression>

#include <chrono>

namespace {
constexpr int kLaunches = 9;
constexpr int kTimeoutMs = 20000;

qint64 monotonicNs()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

// Milliseconds from starting the console to its window being shown, or a negative number.
double launchOnce()
{
    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(SHOWN_PROBE_DIR));
    environment.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("shownprobe"));
    console.setProcessEnvironment(environment);
    const qint64 startNs = monotonicNs();
    console.start(QStringLiteral(CONSOLE_BINARY), {});
    if (!console.waitForFinished(kTimeoutMs)) {
        console.kill();
        console.waitForFinished();
        return -1;
    }
    static const QRegularExpression shown(QStringLiteral(R"(window-shown (\d+))"));
    const QRegularExpressionMatch match = shown.match(QString::fromLocal8Bit(console.readAllStandardError()));
    return match.hasMatch() ? double(match.captured(1).toLongLong() - startNs) / 1e6 : -1;
}
} // namespace

Figures StartupCase::run()
{
    std::vector<double> launches;
    for (int i = 0; i < kLaunches; ++i) {
        const double ms = launchOnce();
        if (ms < 0)
            qFatal("the console did not show its window");
        launches.push_back(ms);
    }
    Figures figures;
    figures.set(QStringLiteral("shown_median_ms"), median(launches));
    figures.set(QStringLiteral("shown_max_ms"), maximum(launches));
    return figures;
}
