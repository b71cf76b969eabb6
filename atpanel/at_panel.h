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

    AtPanel(SerialConsole &console, InputBox &inputBox, Pause &pause, QObject *parent = nullptr);

public slots:
    void command8Click();  // AT test
    void command9Click();  // version
    void command10Click(); // restart
    void command11Click(); // set Wi-Fi mode (asks)
    void command12Click(); // list access points
    void command13Click(); // join access point (asks)
    void command14Click(); // quit access point
    void command15Click(); // show IP
    void command16Click(); // open TCP link (asks)
    void command17Click(); // send data over the TCP link (asks)
    void command18Click(); // TCP status
    void command19Click(); // module's TCP server off
    void command20Click(); // close TCP link
    void command21Click(); // transfer mode query

private:
    void sendCommand(const QString &command);

    SerialConsole &m_console;
    InputBox &m_inputBox;
    Pause &m_pause;
};
