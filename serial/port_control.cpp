#include "serial/port_control.h"

#include "platform/message_box.h"
#include "platform/number_text.h"
#include "serial/serial_port.h"

#include <QComboBox>
#include <QPushButton>
#include <QSet>
#include <QStringList>

namespace {
const QString kCaptionOpen = QStringLiteral("打开");
const QString kCaptionClose = QStringLiteral("关闭");

// Which adapter a listed port is: its device path, then what the system knows, one fact a line.
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

// For a newcomer whose adapter is plugged in but missing from the list.
QString permissionHint(const QStringList &devices)
{
    return QStringLiteral(
               "无权限打开：%1\n请把当前用户加入 dialout 组（sudo adduser $USER dialout），然后重新登录。")
        .arg(devices.join(QStringLiteral("、")));
}

struct HeldPort
{
    QString devicePath;
    int comNumber;
};

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

// For a user whose adapter is plugged in but missing from the list because another program has it.
QString heldHint(const QList<HeldPort> &held, const DeviceHolders &holders)
{
    QStringList lines;
    QSet<QString> named;
    bool someUnseen = false;
    for (const HeldPort &port : held) {
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
} // namespace

PortControl::PortControl(const Controls &controls, SerialPort &comm, MessageBox &messageBox, QObject *parent)
    : QObject(parent), m_controls(controls), m_comm(comm), m_messageBox(messageBox)
{}

void PortControl::command1Click()
{
    if (m_controls.command1->text() == kCaptionClose) {
        m_comm.setPortOpen(false);
        showClosed();
        return;
    }

    if (m_controls.combo1->currentText().size() < 3) {
        m_messageBox.show(QStringLiteral("请选刷新设备，并选择相应设备！"), MessageBox::Icon::Warning);
        return;
    }
    if (m_comm.portOpen())
        m_comm.setPortOpen(false);

    const auto comNumber = toInt16(QString(m_controls.combo1->currentText()).remove(QStringLiteral("COM")));
    const bool opened = comNumber && m_comm.setCommPort(*comNumber) &&
                        m_comm.setSettings(m_controls.combo2->currentText() + QStringLiteral(",N,8,1")) &&
                        m_comm.setInputMode(SerialPort::kInputModeText) && m_comm.setRThreshold(1) &&
                        m_comm.setPortOpen(true);
    if (!opened) {
        m_messageBox.show(QStringLiteral("设置失败，设备发生错误"), MessageBox::Icon::Error);
        return;
    }

    m_controls.command1->setText(kCaptionClose);
    m_controls.command4->setEnabled(true);
    m_controls.command2->setEnabled(false);
    m_controls.combo1->setEnabled(false);
}

void PortControl::command2Click()
{
    if (m_comm.portOpen())
        m_comm.setPortOpen(false);
    m_controls.combo1->clear();

    // Ports that are missing, broken or held by another program fail to open and are not listed.
    QStringList denied;
    QList<HeldPort> held;
    for (int n = 1; n <= kHighestPort; ++n) {
        if (!m_comm.setCommPort(n))
            continue;
        if (m_comm.setPortOpen(true)) {
            m_controls.combo1->addItem(QStringLiteral("COM%1").arg(n));
            m_controls.combo1->setItemData(m_controls.combo1->count() - 1,
                                           portToolTip(m_comm.devicePath(), m_comm.deviceDetails()),
                                           Qt::ToolTipRole);
            m_comm.setPortOpen(false);
        } else if (m_comm.lastError() == SerialPort::Error::PermissionDenied) {
            denied.append(QStringLiteral("%1（COM%2）").arg(m_comm.devicePath(), QString::number(n)));
        } else if (m_comm.lastError() == SerialPort::Error::PortAlreadyOpen) {
            held.append({m_comm.devicePath(), n});
        }
    }

    m_controls.combo1->setCurrentIndex(m_controls.combo1->count() - 1);
    QStringList hints;
    if (!denied.isEmpty())
        hints.append(permissionHint(denied));
    if (!held.isEmpty()) {
        // One look at the system's processes for all held ports, and none when no port is held.
        QStringList paths;
        for (const HeldPort &port : held)
            paths.append(port.devicePath);
        hints.append(heldHint(held, m_comm.deviceHolders(paths)));
    }
    m_controls.combo1->setToolTip(hints.join(QLatin1Char('\n')));
}

void PortControl::mSComm1DeviceLost()
{
    showClosed();
}

void PortControl::showClosed()
{
    m_controls.command1->setText(kCaptionOpen);
    m_controls.combo1->setEnabled(true);
    m_controls.command2->setEnabled(true);
    m_controls.command4->setEnabled(false);
}
