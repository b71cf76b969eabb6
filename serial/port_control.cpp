#include "serial/port_control.h"

#include "platform/message_box.h"
#include "platform/number_text.h"
#include "serial/serial_link.h"

#include <QComboBox>
#include <QPushButton>
#include <QStringList>

PortControl::PortControl(const Controls &controls, SerialLink &link, PortProbe probe, MessageBox &messageBox,
                         QObject *parent)
    : QObject(parent), m_controls(controls), m_link(link), m_probe(std::move(probe)), m_messageBox(messageBox)
{
    connect(&m_link, &SerialLink::openChanged, this, &PortControl::showOpen);
}

void PortControl::togglePort()
{
    if (m_link.isOpen()) {
        m_link.close();
        return;
    }

    if (m_controls.portList->currentText().size() < 3) {
        m_messageBox.show(QStringLiteral("请选刷新设备，并选择相应设备！"), MessageBox::Icon::Warning);
        return;
    }
    const auto comNumber = toInt16(QString(m_controls.portList->currentText()).remove(QStringLiteral("COM")));
    const auto baudRate = parseBaudRate(m_controls.baudList->currentText());
    if (!comNumber || !baudRate || m_link.open(*comNumber, *baudRate) != SerialLink::OpenError::None)
        m_messageBox.show(QStringLiteral("设置失败，设备发生错误"), MessageBox::Icon::Error);
}

void PortControl::refreshPorts()
{
    m_link.close();
    QComboBox *ports = m_controls.portList;
    ports->clear();

    const PortProbe::Found found = m_probe.probe(m_link.baudRate());
    for (const PortProbe::Found::Listed &listed : found.listed) {
        ports->addItem(QStringLiteral("COM%1").arg(listed.port.comNumber));
        ports->setItemData(ports->count() - 1, portToolTip(listed.port.devicePath, listed.details),
                           Qt::ToolTipRole);
    }
    ports->setCurrentIndex(ports->count() - 1);

    QStringList hints;
    if (!found.denied.isEmpty())
        hints.append(permissionHint(found.denied));
    if (!found.held.isEmpty())
        hints.append(heldHint(found.held, found.holders));
    ports->setToolTip(hints.join(QLatin1Char('\n')));
}

void PortControl::showOpen(bool open)
{
    m_controls.openButton->setText(open ? QStringLiteral("关闭") : QStringLiteral("打开"));
    m_controls.refreshButton->setEnabled(!open);
    m_controls.portList->setEnabled(!open);
}
