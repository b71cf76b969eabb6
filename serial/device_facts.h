#pragma once

#include <QString>

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

// What the port probe asks the system about a device besides opening it; tests give their own answers.
struct DeviceFacts
{
    // False when this user lacks the right to read and write the device (for a serial adapter on
    // Debian: not in the dialout group). A device that is merely busy is accessible.
    std::function<bool(const QString &devicePath)> accessible;
    std::function<DeviceDetails(const QString &devicePath)> details;
};

// The answers of this machine: file permissions, and what QSerialPortInfo reports.
DeviceFacts systemDeviceFacts();
