#pragma once

#include <QObject>

class MessageBox;
class QPushButton;
class SerialPort;
class TextBox;

// The text path to the module: the send box and its button, the receive box, and clearing both.
// sendToModule() is the one way every composed AT command reaches the line.
class SerialConsole : public QObject
{
    Q_OBJECT

public:
    struct Controls
    {
        TextBox *text3; // receive box
        TextBox *text4; // send box
    };

    // The receive box holds at most `ceiling` bytes of text; past it the oldest text goes.
    SerialConsole(const Controls &controls, SerialPort &comm, MessageBox &messageBox, qint64 ceiling,
                  QObject *parent = nullptr);

    // Puts the text into the send box and runs the send button's action, even while the button is
    // disabled, so that a closed port is reported the same way.
    void sendToModule(const QString &text);

public slots:
    void command4Click();
    void command5Click();
    void mSComm1OnComm();
    // A new session on the port: its first line break is not taken as the end of the last session's.
    void portOpened();

private:
    void keepUnderCeiling();

    Controls m_controls;
    SerialPort &m_comm;
    MessageBox &m_messageBox;
    const qint64 m_ceiling;
    bool m_ceilingNoticed = false; // said once a session: the log keeps going, the user knows why
};
