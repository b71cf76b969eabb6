#pragma once

#include "simulator_options.h"
#include "tcp_link.h"
#include "wifi_world.h"

#include <QByteArray>
#include <QObject>

class AtCommand;

// The AT command interpreter of the simulated module: takes complete command lines (and CIPSEND payloads)
// and answers with exactly the bytes a 1.x firmware puts on its UART.
class ModuleEmulator : public QObject
{
    Q_OBJECT

public:
    explicit ModuleEmulator(const SimulatorOptions &options, QObject *parent = nullptr);

    void handleLine(const QByteArray &line);
    void handleData(const QByteArray &data);

signals:
    void output(const QByteArray &bytes);
    void echoChanged(bool on);
    // The next `count` bytes from the console are CIPSEND payload, not command text.
    void dataExpected(int count);

private:
    using Handler = void (ModuleEmulator::*)(const AtCommand &);
    struct CommandEntry
    {
        const char *name;
        Handler handler;
    };

    void dispatch(const AtCommand &command);

    void handleAt(const AtCommand &command);
    void handleEchoOff(const AtCommand &command);
    void handleEchoOn(const AtCommand &command);
    void handleVersion(const AtCommand &command);
    void handleReset(const AtCommand &command);
    void handleWifiMode(const AtCommand &command);
    void handleListAccessPoints(const AtCommand &command);
    void handleJoin(const AtCommand &command);
    void handleQuit(const AtCommand &command);
    void handleAddresses(const AtCommand &command);
    void handleStart(const AtCommand &command);
    void handleSend(const AtCommand &command);
    void handleClose(const AtCommand &command);
    void handleStatus(const AtCommand &command);
    void handleTransferMode(const AtCommand &command);
    void handleMultiplex(const AtCommand &command);
    void handleServer(const AtCommand &command);

    void finishScan();
    void finishJoin(const QByteArray &ssid, const QByteArray &key);
    void finishReset();
    void onLinkOpened();
    void onLinkOpenFailed(TcpLink::Failure failure);
    void onLinkData(const QByteArray &data);
    void onLinkWritten();
    void onLinkClosedByPeer();

    void leaveAccessPoint();
    void restoreDefaults();
    void startBusy(const QByteArray &busyReply);
    void finish(const QByteArray &bytes);
    void reply(const QByteArray &bytes);
    void ok();
    void error();
    bool stationEnabled() const { return m_mode == 1 || m_mode == 3; }
    bool softApEnabled() const { return m_mode == 2 || m_mode == 3; }

    static const CommandEntry kCommands[];

    const SimulatorOptions m_options;
    const WifiWorld m_world;
    TcpLink m_link;
    bool m_echo;
    int m_mode;
    const AccessPoint *m_joined = nullptr;
    bool m_hadLink = false;
    // What a line gets while a slow command runs ("busy p..." or "busy s..."); empty when idle.
    QByteArray m_busyReply;
    int m_sendLength = 0;
    bool m_sending = false;
};
