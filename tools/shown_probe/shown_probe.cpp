#include "shown_probe.h"

#include "shown_watcher.h"

#include <QCoreApplication>

QObject *ShownProbe::create(const QString & /*key*/, const QString & /*parameters*/)
{
    auto *watcher = new ShownWatcher(QCoreApplication::instance());
    QCoreApplication::instance()->installEventFilter(watcher);
    return watcher;
}
