#include "tcpserver/local_interface.h"

#include <QFile>
#include <QNetworkInterface>

namespace {
// Interfaces of containers, virtual machines and VPNs: they carry addresses of networks that exist
// only inside this PC or through a tunnel. A host's own bridge (br0) is real and not among them.
constexpr const char *kVirtualPrefixes[] = {"docker", "br-",   "virbr", "vnet",      "veth", "vboxnet",
                                            "vmnet",  "lxcbr", "lxdbr", "podman",    "cni",  "flannel",
                                            "tun",    "tap",   "wg",    "tailscale", "zt"};

bool isVirtual(const QString &name)
{
    for (const char *prefix : kVirtualPrefixes) {
        if (name.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

bool moduleCanReach(const LocalInterface &interface)
{
    return interface.up && !interface.loopback && !interface.ipv4.isEmpty() && !isVirtual(interface.name);
}
} // namespace

QString reachableAddress(const LocalInterfaces &interfaces)
{
    const LocalInterface *routed = nullptr;
    for (const LocalInterface &interface : interfaces) {
        if (interface.defaultRouteMetric && moduleCanReach(interface) &&
            (!routed || *interface.defaultRouteMetric < *routed->defaultRouteMetric))
            routed = &interface;
    }
    if (routed)
        return routed->ipv4.first();
    for (const LocalInterface &interface : interfaces) {
        if (moduleCanReach(interface))
            return interface.ipv4.first();
    }
    return QStringLiteral("127.0.0.1");
}

QString addressListing(const LocalInterfaces &interfaces)
{
    QStringList lines{QStringLiteral("本机的 IPv4 地址：")};
    for (const LocalInterface &interface : interfaces) {
        if (!interface.up)
            continue;
        for (const QString &address : interface.ipv4) {
            lines.append(QStringLiteral("%1：%2%3")
                             .arg(interface.name, address,
                                  interface.defaultRouteMetric ? QStringLiteral("（默认路由）") : QString()));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

// Each line of the table: Iface Destination Gateway Flags RefCnt Use Metric Mask ..., with the
// addresses and flags in hexadecimal and the metric in decimal; the first line names the columns.
QHash<QString, int> defaultRouteMetrics(const QByteArray &routeTable)
{
    constexpr uint kRouteUp = 0x1;
    QHash<QString, int> metrics;
    const QList<QByteArray> lines = routeTable.split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 8 || fields[1] != "00000000" || fields[7] != "00000000")
            continue;
        bool flagsOk = false;
        bool metricOk = false;
        const uint flags = fields[3].toUInt(&flagsOk, 16);
        const int metric = fields[6].toInt(&metricOk);
        if (!flagsOk || !metricOk || !(flags & kRouteUp))
            continue;
        const QString name = QString::fromLocal8Bit(fields[0]);
        const auto known = metrics.constFind(name);
        if (known == metrics.cend() || metric < *known)
            metrics.insert(name, metric);
    }
    return metrics;
}

LocalInterfaces systemLocalInterfaces()
{
    QFile table(QStringLiteral("/proc/net/route"));
    const QHash<QString, int> routes =
        table.open(QIODevice::ReadOnly) ? defaultRouteMetrics(table.readAll()) : QHash<QString, int>{};
    LocalInterfaces result;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const auto flags = interface.flags();
        LocalInterface entry{interface.name(),
                             {},
                             flags.testFlag(QNetworkInterface::IsUp),
                             flags.testFlag(QNetworkInterface::IsLoopBack),
                             {}};
        if (const auto route = routes.constFind(interface.name()); route != routes.cend())
            entry.defaultRouteMetric = *route;
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry &address : entries) {
            if (address.ip().protocol() == QAbstractSocket::IPv4Protocol)
                entry.ipv4.append(address.ip().toString());
        }
        result.append(entry);
    }
    return result;
}
