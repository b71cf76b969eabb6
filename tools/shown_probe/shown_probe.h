#pragma once

#include <QGenericPlugin>

// Loaded into an unmodified program through QT_QPA_GENERIC_PLUGINS while QApplication starts up, it
// watches for the first window to be shown on screen, prints the monotonic time of that moment as
// "window-shown <ns>" on standard error and ends the process there.
class ShownProbe : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "shown_probe.json")

public:
    QObject *create(const QString &key, const QString &parameters) override;
};
