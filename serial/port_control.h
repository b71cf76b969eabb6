#pragma once

#include <QObject>

class MessageBox;
class QComboBox;
class QPushButton;
class SerialPort;

// Finding the serial ports and opening the chosen one: the refresh button, the open/close toggle and
// the port and baud lists. Whether the port is open is read from the toggle's caption.
class PortControl : public QObject
{
    Q_OBJECT

public:
    struct Controls
    {
        QPushButton *command1; // open/close toggle
        QPushButton *command2; // refresh
        QPushButton *command4; // send serial box
        QComboBox *combo1;     // ports
        QComboBox *combo2;     // baud rates
    };

    static constexpr int kHighestPort = 100;

    PortControl(const Controls &controls, SerialPort &comm, MessageBox &messageBox,
                QObject *parent = nullptr);

public slots:
    void command1Click();
    void command2Click();
    void mSComm1DeviceLost();

private:
    void showClosed();

    Controls m_controls;
    SerialPort &m_comm;
    MessageBox &m_messageBox;
};
