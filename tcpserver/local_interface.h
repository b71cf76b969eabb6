#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// One network interface of this PC, as the system lists it.
struct LocalInterface
{
    QString name;
    QStringList ipv4; // dotted-decimal, in the system's order
    bool up = false;
    bool loopback = false;
    // The metric of the IPv4 default route through it (the lowest, if several); none without one.
    std::optional<int> defaultRouteMetric = std::nullopt;
};
using LocalInterfaces = QList<LocalInterface>;

// The address the module most likely reaches this PC at, on the network they share: the first
// address of the interface with the lowest-metric default route, else of the first interface that
// is up; loopback, virtual bridges and tunnels (Docker, libvirt, VirtualBox, VMware, VPNs) are never
// chosen, since a module on the Wi-Fi cannot reach them. A VPN's default route usually has the
// lowest metric of all, so the metrics are compared among the reachable interfaces only.
// 127.0.0.1 when nothing is left.
QString reachableAddress(const LocalInterfaces &interfaces);

// Every IPv4 address of the interfaces that are up, each with its interface, for choosing another;
// every interface that carries a default route is marked as such.
QString addressListing(const LocalInterfaces &interfaces);

// The lowest metric of the IPv4 default routes that are up, by interface, from the text of
// /proc/net/route.
QHash<QString, int> defaultRouteMetrics(const QByteArray &routeTable);

// This machine's interfaces; the default routes are read from the routing table (/proc/net/route).
LocalInterfaces systemLocalInterfaces();
