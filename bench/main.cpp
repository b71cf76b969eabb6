// console-bench: how the console copes with a flood on the serial line and on the TCP link, how fast
// it starts and how fast a click reaches the line. Run without arguments for every case, or name
// cases (serial-flood serial-flat serial-chinese tcp-flood tcp-flat startup big-log click
// serial-flood-a11y tcp-flood-a11y) to run only those. With --check it runs each flood once and only
// says whether every byte arrived in order (exit 1 if not), for CI.
#include "bench_driver.h"
#include "case_runner.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--case") == 0) {
        // One case, in this process, with the real window.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        const QString name = QString::fromLocal8Bit(argv[2]);
        if (!CaseRunner::exists(name))
            return 2;
        return CaseRunner::run(name);
    }
    QCoreApplication app(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], "--check") == 0)
        return BenchDriver(QCoreApplication::applicationFilePath(), {}).checkFloods();
    QStringList cases = QCoreApplication::arguments().mid(1);
    for (const QString &name : cases) {
        if (!CaseRunner::exists(name)) {
            std::fprintf(stderr, "no case %s\n", qPrintable(name));
            return 2;
        }
    }
    return BenchDriver(QCoreApplication::applicationFilePath(), cases).run();
}
