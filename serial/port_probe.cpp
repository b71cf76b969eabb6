#include "serial/port_probe.h"

#include "platform/unique_fd.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPort>

#include <cerrno>
#include <fcntl.h>

PortProbe::PortProbe(PortMap portMap, DeviceFacts deviceFacts)
    : m_portMap(std::move(portMap)), m_deviceFacts(std::move(deviceFacts))
{}

PortProbe::Found PortProbe::probe(qint32 baudRate) const
{
    Found found;
    for (int n = 1; n <= kHighestPort; ++n) {
        const ProbedPort port{n, m_portMap(n)};
        switch (tryOpen(port.devicePath, baudRate)) {
        case Outcome::Opens:
            found.listed.append({port, m_deviceFacts.details(port.devicePath)});
            break;
        case Outcome::Denied:
            found.denied.append(port);
            break;
        case Outcome::Held:
            found.held.append(port);
            break;
        case Outcome::Absent:
            break;
        }
    }
    if (!found.held.isEmpty()) {
        // One look at the system's processes for all held ports, and none when no port is held.
        QStringList paths;
        for (const ProbedPort &port : found.held)
            paths.append(port.devicePath);
        found.holders = m_deviceFacts.holders(paths);
    }
    return found;
}

PortProbe::Outcome PortProbe::tryOpen(const QString &devicePath, qint32 baudRate) const
{
    // Checked first so that probing a hundred absent devices costs next to nothing.
    if (devicePath.isEmpty() || !QFileInfo::exists(devicePath))
        return Outcome::Absent;
    if (!m_deviceFacts.accessible(devicePath))
        return Outcome::Denied;
    // Opened the way the link opens it: a reading descriptor first, then the port set up for sending,
    // which holds the device exclusively.
    const UniqueFd reading(
        ::open(QFile::encodeName(devicePath).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!reading.isValid())
        return errno == EBUSY ? Outcome::Held : Outcome::Absent;
    QSerialPort port(devicePath);
    port.setBaudRate(baudRate);
    port.setParity(QSerialPort::NoParity);
    port.setDataBits(QSerialPort::Data8);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    if (port.open(QIODevice::WriteOnly))
        return Outcome::Opens;
    // Qt reports a lock file held by another program (and a device opened exclusively) as a
    // permission error.
    return port.error() == QSerialPort::PermissionError ? Outcome::Held : Outcome::Absent;
}
