#include "tcpserver/local_interface.h"

#include <QFile>
#include <QNetworkInterface>

#include <climits>

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

// The interface of the IPv4 default route with the lowest metric, or empty. Each line of the table:
// Iface Destination Gateway Flags RefCnt Use Metric Mask ..., addresses and flags in hexadecimal.
QString defaultRouteInterface()
{
    constexpr uint kRouteUp = 0x1;
    QFile table(QStringLiteral("/proc/net/route"));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> lines = table.readAll().split('\n');
    QString best;
    int bestMetric = INT_MAX;
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 8 || fields[1] != "00000000" || fields[7] != "00000000" ||
            !(fields[3].toUInt(nullptr, 16) & kRouteUp))
            continue;
        const int metric = fields[6].toInt();
        if (metric < bestMetric) {
            bestMetric = metric;
            best = QString::fromLocal8Bit(fields[0]);
        }
    }
    return best;
}
} // namespace

QString reachableAddress(const LocalInterfaces &interfaces)
{
    for (const LocalInterface &interface : interfaces) {
        if (interface.defaultRoute && moduleCanReach(interface))
            return interface.ipv4.first();
    }
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
                                  interface.defaultRoute ? QStringLiteral("（默认路由）") : QString()));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

LocalInterfaces systemLocalInterfaces()
{
    const QString routed = defaultRouteInterface();
    LocalInterfaces result;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const auto flags = interface.flags();
        LocalInterface entry{interface.name(),
                             {},
                             flags.testFlag(QNetworkInterface::IsUp),
                             flags.testFlag(QNetworkInterface::IsLoopBack),
                             interface.name() == routed};
        const auto entries = interface.addressEntries();
        for (const QNetworkAddressEntry &address : entries) {
            if (address.ip().protocol() == QAbstractSocket::IPv4Protocol)
                entry.ipv4.append(address.ip().toString());
        }
        result.append(entry);
    }
    return result;
}
