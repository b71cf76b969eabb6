#include "serial/port_hints.h"

#include <QSet>
#include <QStringList>

namespace {
// Services that take hold of serial ports on their own, and how to make them leave a port alone.
struct PortSeizer
{
    const char *program;
    const char *remedy;
};
constexpr PortSeizer kPortSeizers[] = {
    {"ModemManager", "加一条 udev 规则 ENV{ID_MM_DEVICE_IGNORE}=\"1\"，让它不再探测这个设备。"},
    {"brltty", "删除或停用它的 USB udev 规则（不用盲文点显器时也可卸载 brltty）。"},
};
} // namespace

QString portToolTip(const QString &devicePath, const DeviceDetails &details)
{
    QStringList lines{devicePath};
    for (const QString &fact : {details.description, details.manufacturer}) {
        if (!fact.isEmpty())
            lines.append(fact);
    }
    if (details.vendorId && details.productId) {
        lines.append(QStringLiteral("%1:%2")
                         .arg(*details.vendorId, 4, 16, QLatin1Char('0'))
                         .arg(*details.productId, 4, 16, QLatin1Char('0')));
    }
    return lines.join(QLatin1Char('\n'));
}

QString permissionHint(const QList<ProbedPort> &denied)
{
    QStringList devices;
    for (const ProbedPort &port : denied)
        devices.append(QStringLiteral("%1（COM%2）").arg(port.devicePath, QString::number(port.comNumber)));
    return QStringLiteral(
               "无权限打开：%1\n请把当前用户加入 dialout 组（sudo adduser $USER dialout），然后重新登录。")
        .arg(devices.join(QStringLiteral("、")));
}

QString heldHint(const QList<ProbedPort> &held, const DeviceHolders &holders)
{
    QStringList lines;
    QSet<QString> named;
    bool someUnseen = false;
    for (const ProbedPort &port : held) {
        QStringList names;
        for (const DeviceHolder &holder : holders.found) {
            if (holder.devicePath != port.devicePath)
                continue;
            names.append(QStringLiteral("%1（进程号 %2）").arg(holder.program, QString::number(holder.pid)));
            named.insert(holder.program);
        }
        someUnseen = someUnseen || names.isEmpty();
        lines.append(
            QStringLiteral("被占用：%1（COM%2），占用者：%3")
                .arg(port.devicePath, QString::number(port.comNumber),
                     names.isEmpty() ? QStringLiteral("另一个程序") : names.join(QStringLiteral("、"))));
    }
    lines.append(QStringLiteral("请先关闭占用它的程序，再点“刷新”。"));
    // A service of the system runs as another user: this user cannot see which port it holds, only
    // that it runs.
    for (const PortSeizer &seizer : kPortSeizers) {
        const QString program = QString::fromUtf8(seizer.program);
        const QString remedy = program + QStringLiteral("：") + QString::fromUtf8(seizer.remedy);
        if (named.contains(program))
            lines.append(remedy);
        else if (someUnseen && holders.unseenPrograms.contains(program))
            lines.append(QStringLiteral("若是 ") + remedy);
    }
    return lines.join(QLatin1Char('\n'));
}
