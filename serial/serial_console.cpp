#include "serial/serial_console.h"

#include "platform/message_box.h"
#include "serial/serial_port.h"
#include "textbox/text_box.h"

#include <utility>

namespace {
constexpr qint64 kMegabyte = 1024 * 1024;
}

SerialConsole::SerialConsole(const Controls &controls, SerialPort &comm, MessageBox &messageBox, qint64 ceiling,
                             QObject *parent)
    : QObject(parent), m_controls(controls), m_comm(comm), m_messageBox(messageBox), m_ceiling(ceiling)
{}

void SerialConsole::sendToModule(const QString &text)
{
    m_controls.text4->setText(text);
    command4Click();
}

void SerialConsole::command4Click()
{
    if (!m_comm.output(m_controls.text4->text()))
        m_messageBox.show(QStringLiteral("串口未打开！"), MessageBox::Icon::Warning);
}

void SerialConsole::command5Click()
{
    m_controls.text3->setText(QString());
    m_controls.text4->setText(QString());
}

void SerialConsole::mSComm1OnComm()
{
    if (m_comm.commEvent() != SerialPort::kComEvReceive)
        return;
    m_controls.text3->append(m_comm.input(), TextBox::Caret::ToEnd);
    keepUnderCeiling();
}

void SerialConsole::portOpened()
{
    m_controls.text3->endArrivals();
}

void SerialConsole::keepUnderCeiling()
{
    // The line cannot be held back and the newest output is what is being debugged: the oldest text
    // goes, an eighth of the ceiling at a time, so that dropping is rare and costs little per byte.
    const qint64 held = m_controls.text3->heldBytes();
    if (held <= m_ceiling)
        return;
    m_controls.text3->removeOldest(held - m_ceiling + m_ceiling / 8);
    if (std::exchange(m_ceilingNoticed, true))
        return;
    m_messageBox.show(QStringLiteral("串口接收内容已达 %1 MB 上限，已删除最早的内容。").arg(m_ceiling / kMegabyte),
                      MessageBox::Icon::Warning);
}
