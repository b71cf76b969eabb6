#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// One network interface of this PC, as the system lists it.
struct LocalInterface
{
    QString name;
    QStringList ipv4; // dotted-decimal, in the system's order
    bool up = false;
    bool loopback = false;
    bool defaultRoute = false; // carries the IPv4 default route (the preferred one, where there are several)
};
using LocalInterfaces = QList<LocalInterface>;

// The address the module most likely reaches this PC at, on the network they share: the first
// address of the interface that carries the default route, else of the first interface that is up;
// loopback, virtual bridges and tunnels (Docker, libvirt, VirtualBox, VMware, VPNs) are never
// chosen, since a module on the Wi-Fi cannot reach them. 127.0.0.1 when nothing is left.
QString reachableAddress(const LocalInterfaces &interfaces);

// Every IPv4 address of the interfaces that are up, each with its interface, for choosing another.
QString addressListing(const LocalInterfaces &interfaces);

// This machine's interfaces; the default route is read from the routing table (/proc/net/route).
LocalInterfaces systemLocalInterfaces();
