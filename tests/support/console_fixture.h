#pragma once

#include "app/main_form.h"
#include "platform/skin.h"
#include "serial/device_holders.h"
#include "support/fakes.h"
#include "support/pty.h"

#include <QMap>
#include <QSet>
#include <QTest>

#include <chrono>
#include <memory>
#include <optional>

class QPushButton;
class TextBox;

class QTcpSocket;

// A string literal with NULs inside, all of it (QStringLiteral and QString stop at the first NUL).
template <std::size_t N> QString literal(const char16_t (&text)[N])
{
    return QString::fromUtf16(text, qsizetype(N - 1));
}
constexpr std::chrono::milliseconds kIdleCpuBound{150};

// A TCP port on which nothing listens right now.
quint16 freeTcpPort();
// A client connected to a server on the loopback; aborts the test binary if none answers.
std::unique_ptr<QTcpSocket> connectClient(quint16 port);

// The real window, with scripted dialogs, a fixed clock and serial ports that are pseudo-terminals
// the test holds.
class ConsoleFixture
{
public:
    ConsoleFixture();
    ~ConsoleFixture();

    // Makes COM `number` a fresh pseudo-terminal and returns it.
    Pty &addPort(int number);
    // Creates and shows the window (which probes the ports).
    MainForm &start();

    template <typename Control> Control *find(const char *name) const
    {
        auto *control = window->findChild<Control *>(QString::fromUtf8(name));
        if (!control)
            qFatal("no control %s", name);
        return control;
    }
    QPushButton *button(const char *name) const;
    TextBox *textBox(const char *name) const;
    void click(const char *name);
    // Opens COM `number` at the baud rate shown, through the window.
    void openPort(int number);
    // The window shows the port closed: caption "打开", list and refresh usable, send disabled.
    void verifyPortClosed() const;
    // Starts the window's TCP server on a free port and returns the port.
    quint16 startServer();
    // Runs the window until the work it does once it shows is over: its receive boxes measure the
    // characters the links can bring, a second or so.
    void awaitStartUpWork() const;
    // CPU time (all threads) the process burns while the window, its start-up work over, runs on
    // its own for half a second: a busy loop burns most of it, an idle window next to nothing.
    std::chrono::milliseconds cpuWhileIdle() const;

    QMap<int, QString> devices; // COM number -> device path
    // What the system says about a device: no access for this user, its USB adapter.
    QSet<QString> deniedDevices;
    QMap<QString, DeviceDetails> deviceDetails;
    std::function<DeviceHolders(const QStringList &devicePaths)> holders = findDeviceHolders; // the real ones
    std::function<LocalInterfaces()> localInterfaces = systemLocalInterfaces; // this machine's
    std::map<int, std::unique_ptr<Pty>> ptys;
    FusionSkin skin;
    FakeMessageBox messages;
    ScriptedInputBox prompts;
    RecordingPause pause;
    FixedClock clock;
    std::optional<qint64> receiveCeiling; // the window's own when unset
    std::unique_ptr<MainForm> window;
};
