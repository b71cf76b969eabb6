#pragma once

#include <QObject>

#include <chrono>

class InputBox;
class Pause;
class SerialConsole;

// The fourteen AT command buttons. Ten send a fixed command; four ask for a parameter first and send
// nothing when the answer fails its check (a cancelled box answers ""). Every command goes out through
// the serial console's send box, terminated by CR LF; the data after AT+CIPSEND goes out as typed.
class AtPanel : public QObject
{
    Q_OBJECT

public:
    // The module answers AT+CIPSEND with a "> " prompt; the payload must not reach it before that.
    static constexpr std::chrono::milliseconds kDataPromptWait{1300};
    static const QString kTcpExampleAddress;

    // The buttons that send a fixed command, by object name.
    struct FixedCommand
    {
        const char *button;
        const char *command;
    };
    static const FixedCommand kFixedCommands[10];

    AtPanel(SerialConsole &console, InputBox &inputBox, Pause &pause, QObject *parent = nullptr);

    // Sends `command` followed by CR LF.
    void sendCommand(const QString &command);

public slots:
    void setWifiMode();
    void joinAccessPoint();
    void openTcpConnection();
    void sendTcpData();

private:
    SerialConsole &m_console;
    InputBox &m_inputBox;
    Pause &m_pause;
};
