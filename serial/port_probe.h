#pragma once

#include "serial/device_facts.h"
#include "serial/port_hints.h"
#include "serial/port_map.h"

#include <QList>

// Finds the serial ports that open, COM1 to COM100, by opening each device once and closing it
// again. Ports that are missing or refuse to be set up as serial ports are left out; those this user
// may not open and those another program holds are reported, so the window can say why.
class PortProbe
{
public:
    static constexpr int kHighestPort = 100;

    struct Found
    {
        struct Listed
        {
            ProbedPort port;
            DeviceDetails details;
        };
        QList<Listed> listed;
        QList<ProbedPort> denied;
        QList<ProbedPort> held;
        // Who holds the held ports; asked only when some port is held.
        DeviceHolders holders;
    };

    PortProbe(PortMap portMap, DeviceFacts deviceFacts);

    // Opens each port at `baudRate`, the rate the window last used: opening sets the line up.
    Found probe(qint32 baudRate) const;

private:
    enum class Outcome { Opens, Denied, Held, Absent };
    Outcome tryOpen(const QString &devicePath, qint32 baudRate) const;

    PortMap m_portMap;
    DeviceFacts m_deviceFacts;
};
