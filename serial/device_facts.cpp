#include "serial/device_facts.h"

#include "serial/device_holders.h"

#include <QFile>
#include <QSerialPortInfo>

#include <cerrno>
#include <unistd.h>

namespace {
bool systemAccessible(const QString &devicePath)
{
#ifdef Q_OS_UNIX
    // access() asks about the mode bits and groups without opening the device, so it does not
    // reset a board through DTR, and it is not fooled by a lock file or another program holding
    // the port. Any answer but "permission denied" is left to the real open.
    return ::access(QFile::encodeName(devicePath).constData(), R_OK | W_OK) == 0 || errno != EACCES;
#else
    Q_UNUSED(devicePath);
    return true;
#endif
}

DeviceDetails systemDetails(const QString &devicePath)
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        if (port.systemLocation() != devicePath)
            continue;
        DeviceDetails details{port.description(), port.manufacturer(), std::nullopt, std::nullopt};
        if (port.hasVendorIdentifier())
            details.vendorId = port.vendorIdentifier();
        if (port.hasProductIdentifier())
            details.productId = port.productIdentifier();
        return details;
    }
    return {};
}
} // namespace

DeviceFacts systemDeviceFacts()
{
    return {systemAccessible, systemDetails, findDeviceHolders};
}
