#include "serial/port_control.h"

#include "platform/message_box.h"
#include "platform/number_text.h"
#include "serial/serial_port.h"

#include <QComboBox>
#include <QPushButton>

namespace {
const QString kCaptionOpen = QStringLiteral("打开");
const QString kCaptionClose = QStringLiteral("关闭");
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
    for (int n = 1; n <= kHighestPort; ++n) {
        if (m_comm.setCommPort(n) && m_comm.setPortOpen(true)) {
            m_controls.combo1->addItem(QStringLiteral("COM%1").arg(n));
            m_controls.combo1->setItemData(m_controls.combo1->count() - 1, m_comm.devicePath(),
                                           Qt::ToolTipRole);
            m_comm.setPortOpen(false);
        }
    }

    m_controls.combo1->setCurrentIndex(m_controls.combo1->count() - 1);
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
