#include "module_emulator.h"

#include "at_command.h"

#include <QTimer>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

constexpr int kDefaultMode = 1;
constexpr int kMinMode = 1;
constexpr int kMaxMode = 3;
constexpr int kMaxSendLength = 2048;
constexpr int kMaxPort = 65535;
// STATUS: values of AT+CIPSTATUS.
constexpr int kStatusGotIp = 2;
constexpr int kStatusLinkOpen = 3;
constexpr int kStatusLinkClosed = 4;
constexpr int kStatusNoAccessPoint = 5;
// Incoming TCP data reaches the UART in segments of at most one TCP maximum segment size.
constexpr qsizetype kMaxIpdLength = 1460;

constexpr char kOk[] = "\r\nOK\r\n";
constexpr char kError[] = "\r\nERROR\r\n";
constexpr char kBusyProcessing[] = "busy p...";
constexpr char kBusySending[] = "busy s...";
constexpr char kVersion[] = "AT version:1.3.0.0(Jul 14 2016 18:54:01)\r\n"
                            "SDK version:2.0.0(656edbf)\r\n"
                            "compile time:Oct 29 2016 22:56:21\r\n";

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

QByteArray quoted(const QByteArray &text)
{
    return '"' + text + '"';
}

} // namespace

const ModuleEmulator::CommandEntry ModuleEmulator::kCommands[] = {
    {"", &ModuleEmulator::handleAt},
    {"E0", &ModuleEmulator::handleEchoOff},
    {"E1", &ModuleEmulator::handleEchoOn},
    {"+GMR", &ModuleEmulator::handleVersion},
    {"+RST", &ModuleEmulator::handleReset},
    {"+CWMODE", &ModuleEmulator::handleWifiMode},
    {"+CWLAP", &ModuleEmulator::handleListAccessPoints},
    {"+CWJAP", &ModuleEmulator::handleJoin},
    {"+CWQAP", &ModuleEmulator::handleQuit},
    {"+CIFSR", &ModuleEmulator::handleAddresses},
    {"+CIPSTART", &ModuleEmulator::handleStart},
    {"+CIPSEND", &ModuleEmulator::handleSend},
    {"+CIPCLOSE", &ModuleEmulator::handleClose},
    {"+CIPSTATUS", &ModuleEmulator::handleStatus},
    {"+CIPMODE", &ModuleEmulator::handleTransferMode},
    {"+CIPMUX", &ModuleEmulator::handleMultiplex},
    {"+CIPSERVER", &ModuleEmulator::handleServer},
};

ModuleEmulator::ModuleEmulator(const SimulatorOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_link(options.connectTimeout), m_echo(options.echo),
      m_mode(kDefaultMode)
{
    connect(&m_link, &TcpLink::opened, this, &ModuleEmulator::onLinkOpened);
    connect(&m_link, &TcpLink::openFailed, this, &ModuleEmulator::onLinkOpenFailed);
    connect(&m_link, &TcpLink::dataArrived, this, &ModuleEmulator::onLinkData);
    connect(&m_link, &TcpLink::allWritten, this, &ModuleEmulator::onLinkWritten);
    connect(&m_link, &TcpLink::closedByPeer, this, &ModuleEmulator::onLinkClosedByPeer);
}

void ModuleEmulator::handleLine(const QByteArray &line)
{
    // A bare line end (e.g. the LF of a console that sends LF CR) gets no answer.
    if (line.isEmpty())
        return;
    if (!m_busyReply.isEmpty()) {
        reply("\r\n" + m_busyReply + "\r\n");
        return;
    }
    const std::optional<AtCommand> command = AtCommand::parse(line);
    if (command)
        dispatch(*command);
    else
        error();
}

void ModuleEmulator::handleData(const QByteArray &data)
{
    reply("\r\nRecv " + number(data.size()) + " bytes\r\n");
    if (!m_link.isOpen()) {
        reply("\r\nSEND FAIL\r\n");
        return;
    }
    m_sending = true;
    startBusy(kBusySending);
    m_link.send(data);
}

void ModuleEmulator::dispatch(const AtCommand &command)
{
    const auto entry = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const CommandEntry &e) { return command.name() == e.name; });
    if (entry == std::end(kCommands))
        error();
    else
        (this->*(entry->handler))(command);
}

void ModuleEmulator::handleAt(const AtCommand &command)
{
    if (command.kind() != AtCommand::Kind::Execute)
        return error();
    ok();
}

void ModuleEmulator::handleEchoOff(const AtCommand &command)
{
    if (command.kind() != AtCommand::Kind::Execute)
        return error();
    m_echo = false;
    emit echoChanged(m_echo);
    ok();
}

void ModuleEmulator::handleEchoOn(const AtCommand &command)
{
    if (command.kind() != AtCommand::Kind::Execute)
        return error();
    m_echo = true;
    emit echoChanged(m_echo);
    ok();
}

void ModuleEmulator::handleVersion(const AtCommand &command)
{
    if (command.kind() != AtCommand::Kind::Execute)
        return error();
    reply(QByteArray(kVersion) + kOk);
}

void ModuleEmulator::handleReset(const AtCommand &command)
{
    if (command.kind() != AtCommand::Kind::Execute)
        return error();
    ok();
    // The link dies with the reboot; a real module says nothing about it either.
    m_link.close();
    startBusy(kBusyProcessing);
    QTimer::singleShot(m_options.resetDelay, this, &ModuleEmulator::finishReset);
}

void ModuleEmulator::handleWifiMode(const AtCommand &command)
{
    switch (command.kind()) {
    case AtCommand::Kind::Query:
        return reply("+CWMODE:" + number(m_mode) + "\r\n" + kOk);
    case AtCommand::Kind::Test:
        return reply(QByteArrayLiteral("+CWMODE:(1-3)\r\n") + kOk);
    case AtCommand::Kind::Set:
        break;
    case AtCommand::Kind::Execute:
        return error();
    }
    const std::optional<int> mode = command.intArgument(0);
    if (command.arguments().size() != 1 || !mode || *mode < kMinMode || *mode > kMaxMode)
        return error();
    m_mode = *mode;
    ok();
    // Switching the station off drops the access point it was joined to.
    if (!stationEnabled() && m_joined)
        leaveAccessPoint();
}

void ModuleEmulator::handleListAccessPoints(const AtCommand &command)
{
    if (command.kind() != AtCommand::Kind::Execute || !stationEnabled())
        return error();
    startBusy(kBusyProcessing);
    QTimer::singleShot(m_options.scanDelay, this, &ModuleEmulator::finishScan);
}

void ModuleEmulator::handleJoin(const AtCommand &command)
{
    if (command.kind() == AtCommand::Kind::Query) {
        if (!m_joined)
            return reply(QByteArrayLiteral("No AP\r\n") + kOk);
        return reply("+CWJAP:" + quoted(m_joined->ssid) + ',' + quoted(m_joined->mac) + ',' +
                     number(m_joined->channel) + ',' + number(m_joined->rssi) + "\r\n" + kOk);
    }
    if (command.kind() != AtCommand::Kind::Set || command.arguments().size() != 2 || !stationEnabled())
        return error();
    if (m_joined)
        leaveAccessPoint();
    startBusy(kBusyProcessing);
    const QByteArray ssid = command.arguments().at(0);
    const QByteArray key = command.arguments().at(1);
    QTimer::singleShot(m_options.joinDelay, this, [this, ssid, key] { finishJoin(ssid, key); });
}

void ModuleEmulator::handleQuit(const AtCommand &command)
{
    if (command.kind() != AtCommand::Kind::Execute)
        return error();
    ok();
    if (m_joined)
        leaveAccessPoint();
}

void ModuleEmulator::handleAddresses(const AtCommand &command)
{
    if (command.kind() != AtCommand::Kind::Execute)
        return error();
    QByteArray answer;
    if (softApEnabled()) {
        answer += "+CIFSR:APIP," + quoted(WifiWorld::softApIp()) + "\r\n";
        answer += "+CIFSR:APMAC," + quoted(WifiWorld::softApMac()) + "\r\n";
    }
    if (stationEnabled()) {
        const QByteArray ip = m_joined ? m_joined->stationIp : QByteArrayLiteral("0.0.0.0");
        answer += "+CIFSR:STAIP," + quoted(ip) + "\r\n";
        answer += "+CIFSR:STAMAC," + quoted(WifiWorld::stationMac()) + "\r\n";
    }
    reply(answer + kOk);
}

void ModuleEmulator::handleStart(const AtCommand &command)
{
    const QByteArrayList &arguments = command.arguments();
    const std::optional<int> port = command.intArgument(2);
    // Only TCP client links; UDP and SSL are beyond what the console uses.
    if (command.kind() != AtCommand::Kind::Set || arguments.size() != 3 || arguments.at(0) != "TCP" ||
        arguments.at(1).isEmpty() || !port || *port < 1 || *port > kMaxPort)
        return error();
    if (m_link.isOpen())
        return reply(QByteArrayLiteral("ALREADY CONNECTED\r\n") + kError);
    // Without an IP address from an access point a real module cannot reach anything.
    if (!m_joined)
        return error();
    startBusy(kBusyProcessing);
    m_link.open(QString::fromLatin1(arguments.at(1)), quint16(*port));
}

void ModuleEmulator::handleSend(const AtCommand &command)
{
    const std::optional<int> length = command.intArgument(0);
    if (command.kind() != AtCommand::Kind::Set || command.arguments().size() != 1 || !length)
        return error();
    if (!m_link.isOpen())
        return reply(QByteArrayLiteral("link is not valid\r\n") + kError);
    if (*length > kMaxSendLength)
        return reply(QByteArrayLiteral("too long\r\n") + kError);
    if (*length < 1)
        return error();
    // The prompt ends in a space; the payload that follows is counted, not read as a line.
    reply(QByteArray(kOk) + "> ");
    emit dataExpected(*length);
}

void ModuleEmulator::handleClose(const AtCommand &command)
{
    if (command.kind() != AtCommand::Kind::Execute || !m_link.isOpen())
        return error();
    m_link.close();
    reply(QByteArrayLiteral("CLOSED\r\n") + kOk);
}

void ModuleEmulator::handleStatus(const AtCommand &command)
{
    if (command.kind() != AtCommand::Kind::Execute)
        return error();
    const int status = !m_joined         ? kStatusNoAccessPoint
                       : m_link.isOpen() ? kStatusLinkOpen
                       : m_hadLink       ? kStatusLinkClosed
                                         : kStatusGotIp;
    QByteArray answer = "STATUS:" + number(status) + "\r\n";
    if (m_link.isOpen()) {
        answer += "+CIPSTATUS:0,\"TCP\"," + quoted(m_link.peerAddress().toString().toLatin1()) + ',' +
                  number(m_link.peerPort()) + ',' + number(m_link.localPort()) + ",0\r\n";
    }
    reply(answer + kOk);
}

void ModuleEmulator::handleTransferMode(const AtCommand &command)
{
    // Only normal mode (0); transparent transmission is not simulated.
    if (command.kind() == AtCommand::Kind::Query)
        return reply(QByteArrayLiteral("+CIPMODE:0\r\n") + kOk);
    if (command.kind() == AtCommand::Kind::Set && command.arguments() == QByteArrayList{"0"})
        return ok();
    error();
}

void ModuleEmulator::handleMultiplex(const AtCommand &command)
{
    // Only the single-connection mode is simulated.
    if (command.kind() == AtCommand::Kind::Query)
        return reply(QByteArrayLiteral("+CIPMUX:0\r\n") + kOk);
    if (command.kind() == AtCommand::Kind::Set && command.arguments() == QByteArrayList{"0"})
        return ok();
    error();
}

void ModuleEmulator::handleServer(const AtCommand &)
{
    // The server needs multi-connection mode, which this module never enters.
    error();
}

void ModuleEmulator::finishScan()
{
    QByteArray answer;
    for (const AccessPoint &ap : m_world.accessPoints()) {
        answer += "+CWLAP:(" + number(ap.encryption) + ',' + quoted(ap.ssid) + ',' + number(ap.rssi) + ',' +
                  quoted(ap.mac) + ',' + number(ap.channel) + ',' + number(ap.frequencyOffset) + ",0)\r\n";
    }
    finish(answer + kOk);
}

void ModuleEmulator::finishJoin(const QByteArray &ssid, const QByteArray &key)
{
    switch (m_world.join(ssid, key)) {
    case WifiWorld::JoinResult::Joined:
        m_joined = m_world.find(ssid);
        m_hadLink = false;
        return finish(QByteArrayLiteral("WIFI CONNECTED\r\nWIFI GOT IP\r\n") + kOk);
    case WifiWorld::JoinResult::WrongKey:
        return finish(QByteArrayLiteral("+CWJAP:2\r\n\r\nFAIL\r\n"));
    case WifiWorld::JoinResult::NotFound:
        return finish(QByteArrayLiteral("+CWJAP:3\r\n\r\nFAIL\r\n"));
    }
}

void ModuleEmulator::finishReset()
{
    restoreDefaults();
    finish(QByteArrayLiteral("\r\nready\r\n"));
}

void ModuleEmulator::onLinkOpened()
{
    m_hadLink = true;
    finish(QByteArrayLiteral("CONNECT\r\n") + kOk);
}

void ModuleEmulator::onLinkOpenFailed(TcpLink::Failure failure)
{
    if (failure == TcpLink::Failure::HostNotFound)
        return finish(QByteArrayLiteral("DNS Fail\r\n") + kError);
    finish(QByteArrayLiteral("CLOSED\r\n") + kError);
}

void ModuleEmulator::onLinkData(const QByteArray &data)
{
    for (qsizetype offset = 0; offset < data.size(); offset += kMaxIpdLength) {
        const QByteArray segment = data.mid(offset, kMaxIpdLength);
        reply("\r\n+IPD," + number(segment.size()) + ':' + segment);
    }
}

void ModuleEmulator::onLinkWritten()
{
    if (std::exchange(m_sending, false))
        finish(QByteArrayLiteral("\r\nSEND OK\r\n"));
}

void ModuleEmulator::onLinkClosedByPeer()
{
    if (std::exchange(m_sending, false))
        finish(QByteArrayLiteral("\r\nSEND FAIL\r\n"));
    reply(QByteArrayLiteral("CLOSED\r\n"));
}

void ModuleEmulator::leaveAccessPoint()
{
    if (m_link.isOpen()) {
        m_link.close();
        reply(QByteArrayLiteral("CLOSED\r\n"));
    }
    m_joined = nullptr;
    m_hadLink = false;
    reply(QByteArrayLiteral("WIFI DISCONNECT\r\n"));
}

void ModuleEmulator::restoreDefaults()
{
    m_link.close();
    m_joined = nullptr;
    m_hadLink = false;
    m_sending = false;
    m_mode = kDefaultMode;
    m_echo = m_options.echo;
    emit echoChanged(m_echo);
}

void ModuleEmulator::startBusy(const QByteArray &busyReply)
{
    m_busyReply = busyReply;
}

void ModuleEmulator::finish(const QByteArray &bytes)
{
    m_busyReply.clear();
    reply(bytes);
}

void ModuleEmulator::reply(const QByteArray &bytes)
{
    emit output(bytes);
}

void ModuleEmulator::ok()
{
    reply(kOk);
}

void ModuleEmulator::error()
{
    reply(kError);
}
