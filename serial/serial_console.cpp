#include "serial/serial_console.h"

#include "platform/message_box.h"
#include "platform/units.h"
#include "serial/serial_link.h"
#include "textbox/text_box.h"

#include <QPushButton>

#include <utility>

SerialConsole::SerialConsole(const Controls &controls, SerialLink &link, MessageBox &messageBox,
                             qint64 ceiling, QObject *parent)
    : QObject(parent), m_controls(controls), m_link(link), m_messageBox(messageBox), m_ceiling(ceiling)
{
    connect(&m_link, &SerialLink::received, this, &SerialConsole::showReceived);
    connect(&m_link, &SerialLink::openChanged, this, &SerialConsole::linkOpenChanged);
}

void SerialConsole::sendToModule(const QString &text)
{
    m_controls.sendBox->setText(text);
    sendSerialText();
}

std::optional<qsizetype> SerialConsole::encodedLength(const QString &text) const
{
    return m_link.encodedLength(text);
}

void SerialConsole::sendSerialText()
{
    if (!m_link.send(m_controls.sendBox->text()))
        m_messageBox.show(QStringLiteral("串口未打开！"), MessageBox::Icon::Warning);
}

void SerialConsole::clearSerial()
{
    m_controls.receiveBox->setText(QString());
    m_controls.sendBox->setText(QString());
}

void SerialConsole::showReceived(const QString &text)
{
    m_controls.receiveBox->append(text, TextBox::Caret::ToEnd);
    keepUnderCeiling();
}

void SerialConsole::linkOpenChanged(bool open)
{
    m_controls.sendButton->setEnabled(open);
    // A new session on the port: its first line break is not taken as the end of the last session's.
    if (open)
        m_controls.receiveBox->endArrivals();
}

void SerialConsole::keepUnderCeiling()
{
    // The line cannot be held back and the newest output is what is being debugged: the oldest text
    // goes, an eighth of the ceiling at a time, so that dropping is rare and costs little per byte.
    const qint64 held = m_controls.receiveBox->heldBytes();
    if (held <= m_ceiling)
        return;
    m_controls.receiveBox->removeOldest(held - m_ceiling + m_ceiling / 8);
    if (std::exchange(m_ceilingNoticed, true))
        return;
    m_messageBox.show(
        QStringLiteral("串口接收内容已达 %1 MB 上限，已删除最早的内容。").arg(m_ceiling / kMegabyte),
        MessageBox::Icon::Warning);
}
