#pragma once

#include "serial/device_facts.h"

#include <QList>
#include <QString>

// A serial port the probe found, by COM number and device.
struct ProbedPort
{
    int comNumber = 0;
    QString devicePath;
};

// Which adapter a listed port is: its device path, then what the system knows, one fact a line.
QString portToolTip(const QString &devicePath, const DeviceDetails &details);

// For a newcomer whose adapter is plugged in but missing from the list: the devices this user may
// not open, and how to be allowed.
QString permissionHint(const QList<ProbedPort> &denied);

// For a user whose adapter is plugged in but missing from the list because another program has it:
// each held port with its holders as far as `holders` names them, and how to make known services
// leave a port alone.
QString heldHint(const QList<ProbedPort> &held, const DeviceHolders &holders);
