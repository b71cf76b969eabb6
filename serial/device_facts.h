#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What the system knows about a serial device, for telling several adapters apart.
struct DeviceDetails
{
    QString description;
    QString manufacturer;
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;
};

// A program that has a serial device open.
struct DeviceHolder
{
    QString devicePath; // as it was asked for
    QString program;    // the process's name
    qint64 pid = 0;
};

// Which programs hold some devices, as far as this user may look.
struct DeviceHolders
{
    QList<DeviceHolder> found;
    // Running programs whose open files this user may not see (another user's, the system's): a held
    // device that no entry of `found` names may be held by one of them.
    QSet<QString> unseenPrograms;
};

// What the port probe asks the system about a device besides opening it; tests give their own answers.
struct DeviceFacts
{
    // False when this user lacks the right to read and write the device (for a serial adapter on
    // Debian: not in the dialout group). A device that is merely busy is accessible.
    std::function<bool(const QString &devicePath)> accessible;
    std::function<DeviceDetails(const QString &devicePath)> details;
    // Asked only about devices that failed to open as busy; must not open them, since opening a port
    // can reset a board through DTR.
    std::function<DeviceHolders(const QStringList &devicePaths)> holders;
};

// The answers of this machine: file permissions, what QSerialPortInfo reports, and the open files
// that /proc shows.
DeviceFacts systemDeviceFacts();
