#include "pty_device.h"
#include "signal_watcher.h"
#include "simulator.h"
#include "simulator_options.h"
#include "symlink_guard.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

#include <optional>
#include <unistd.h>

namespace {

// Started with sudo (to make the link): the device belongs to root. Hand it to the user who asked for
// it, so that their console may open it.
void handToSudoUser(const QString &devicePath)
{
    bool uidOk = false;
    bool gidOk = false;
    const uint uid = qEnvironmentVariable("SUDO_UID").toUInt(&uidOk);
    const uint gid = qEnvironmentVariable("SUDO_GID").toUInt(&gidOk);
    if (uidOk && gidOk && ::chown(QFile::encodeName(devicePath).constData(), uid, gid) != 0)
        QTextStream(stderr) << "could not hand " << devicePath << " to the sudo user" << Qt::endl;
}

constexpr char kDescription[] =
    "Simulates an ESP8266 Wi-Fi module with 1.x AT firmware on a pseudo-terminal, so the console can be\n"
    "tried without hardware. The slave device path is printed on the first line of standard output; open\n"
    "it from the console like a serial port.\n"
    "\n"
    "The module starts in station mode (AT+CWMODE=1) and sees three access points; AT+CWJAP=\"SSID\",\n"
    "\"yourpass\" joins one of them. AT+CIPSTART opens a real TCP connection from this machine, but only\n"
    "after joining an access point (without an IP address a real module answers ERROR too). Only a single\n"
    "connection in normal transfer mode is simulated, so AT+CIPSERVER always answers ERROR.\n"
    "When the console's line rate differs from --baud, every line is answered with garbage bytes.\n"
    "SIGINT or SIGTERM ends the simulator cleanly and removes the --link symlink.";

struct CommandLine
{
    SimulatorOptions options;
    QString linkPath;
};

std::optional<CommandLine> parseCommandLine(const QCoreApplication &app, QString *errorMessage)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addHelpOption();
    const QCommandLineOption linkOption(
        QStringLiteral("link"),
        QStringLiteral("Also make a symlink to the device, e.g. /dev/ttyUSB31 "
                       "(removed on exit)."),
        QStringLiteral("path"));
    const QCommandLineOption baudOption(QStringLiteral("baud"),
                                        QStringLiteral("Line rate of the simulated UART (default 115200)."),
                                        QStringLiteral("rate"), QStringLiteral("115200"));
    const QCommandLineOption noEchoOption(QStringLiteral("no-echo"),
                                          QStringLiteral("Start with command echo off, as after ATE0."));
    parser.addOptions({linkOption, baudOption, noEchoOption});
    parser.process(app);

    CommandLine commandLine;
    bool ok = false;
    commandLine.options.baud = parser.value(baudOption).toInt(&ok);
    if (!ok || !PtyDevice::isSupportedBaud(commandLine.options.baud)) {
        *errorMessage =
            QStringLiteral("--baud: not a standard serial rate: %1").arg(parser.value(baudOption));
        return std::nullopt;
    }
    commandLine.options.echo = !parser.isSet(noEchoOption);
    commandLine.linkPath = parser.value(linkOption);
    return commandLine;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("esp8266-sim"));
    QTextStream err(stderr);

    QString errorMessage;
    const std::optional<CommandLine> commandLine = parseCommandLine(app, &errorMessage);
    if (!commandLine) {
        err << errorMessage << Qt::endl;
        return 2;
    }

    SignalWatcher signalWatcher;
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, &app, &QCoreApplication::quit);
    Simulator simulator(commandLine->options);
    SymlinkGuard link;
    if (!signalWatcher.install(&errorMessage) || !simulator.start(&errorMessage) ||
        (!commandLine->linkPath.isEmpty() &&
         !link.create(commandLine->linkPath, simulator.devicePath(), &errorMessage))) {
        err << errorMessage << Qt::endl;
        return 1;
    }

    handToSudoUser(simulator.devicePath());
    QTextStream(stdout) << simulator.devicePath() << Qt::endl;
    return app.exec();
}
