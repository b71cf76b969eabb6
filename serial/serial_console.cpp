#include "serial/serial_console.h"

#include "platform/message_box.h"
#include "serial/serial_port.h"
#include "textbox/text_box.h"

SerialConsole::SerialConsole(const Controls &controls, SerialPort &comm, MessageBox &messageBox,
                             QObject *parent)
    : QObject(parent), m_controls(controls), m_comm(comm), m_messageBox(messageBox)
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
}
