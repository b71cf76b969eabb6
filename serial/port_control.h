#pragma once

#include "serial/port_probe.h"

#include <QObject>

class MessageBox;
class QComboBox;
class QPushButton;
class SerialLink;

// Finding the serial ports and opening the chosen one: the refresh button, the open/close toggle and
// the port and baud lists. The captions and which controls are usable follow the link's open state.
class PortControl : public QObject
{
    Q_OBJECT

public:
    struct Controls
    {
        QPushButton *openButton;
        QPushButton *refreshButton;
        QComboBox *portList;
        QComboBox *baudList;
    };

    PortControl(const Controls &controls, SerialLink &link, PortProbe probe, MessageBox &messageBox,
                QObject *parent = nullptr);

public slots:
    void togglePort();
    void refreshPorts();

private:
    void showOpen(bool open);

    Controls m_controls;
    SerialLink &m_link;
    PortProbe m_probe;
    MessageBox &m_messageBox;
};
