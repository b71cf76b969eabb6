#pragma once

#include "serial/device_facts.h"
#include "serial/port_map.h"
#include "tcpserver/local_interface.h"

#include <QWidget>

class AtPanel;
class Clock;
class InputBox;
class MessageBox;
class Pause;
class PortControl;
class SerialConsole;
class SerialLink;
class Skin;
class TcpConsole;
class TcpListener;
class TcpServer;

// The one window: builds every control from the layout table, owns the serial link and the TCP
// server, hands each subsystem the controls it works on, and runs the start-up sequence before it is
// first shown.
class MainForm : public QWidget
{
    Q_OBJECT

public:
    // Everything from outside that the window depends on; tests pass their own.
    struct Services
    {
        PortMap portMap;
        Skin &skin;
        MessageBox &messageBox;
        InputBox &inputBox;
        Pause &pause;
        const Clock &clock;
        DeviceFacts deviceFacts = systemDeviceFacts();
        std::function<LocalInterfaces()> localInterfaces = systemLocalInterfaces;
        qint64 receiveCeiling = qint64(1) << 30; // memory each receive box's text may take, in bytes
    };

    explicit MainForm(const Services &services, QWidget *parent = nullptr);
    ~MainForm() override;

private:
    void buildControls();
    void createSubsystems(const Services &services);
    // The skin, the PC's address, the first port probe and the usual baud rate.
    void startUp(const Services &services);
    template <typename Control> Control *control(const char *name) const;

    SerialLink *m_serialLink = nullptr;
    TcpServer *m_tcpServer = nullptr;
    PortControl *m_portControl = nullptr;
    SerialConsole *m_serialConsole = nullptr;
    AtPanel *m_atPanel = nullptr;
    TcpListener *m_tcpListener = nullptr;
    TcpConsole *m_tcpConsole = nullptr;
};
