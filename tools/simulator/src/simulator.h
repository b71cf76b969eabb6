#pragma once

#include "line_framer.h"
#include "module_emulator.h"
#include "pty_device.h"
#include "simulator_options.h"

#include <QObject>
#include <QString>

// A simulated module on a pseudo-terminal: wires the UART (pty) to the line framer and the interpreter,
// and mangles the conversation when the console's line rate does not match the module's.
class Simulator : public QObject
{
    Q_OBJECT

public:
    explicit Simulator(const SimulatorOptions &options, QObject *parent = nullptr);

    bool start(QString *errorMessage);
    QString devicePath() const { return m_pty.slavePath(); }

private:
    void onPtyData(const QByteArray &bytes);
    bool lineRateMatches() const;
    QByteArray garbage();

    const SimulatorOptions m_options;
    PtyDevice m_pty;
    LineFramer m_framer;
    ModuleEmulator m_module;
    int m_garbageIndex = 0;
};
