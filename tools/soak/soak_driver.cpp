// Drives the real window against the module simulator over and over for a given time and prints the
// process's memory and descriptor counts as it goes, to show whether anything grows. Not a test: run
// by scripts/soak.sh. Each round: refresh, open, AT, set the mode, join, open a TCP link back to the
// window's own server, data both ways, close the link, clear both consoles; every few rounds the
// port is closed, and now and then the simulator is killed while the port is open (the device
// vanishing) and started again.
#include "support/console_fixture.h"
#include "textbox/text_box.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>

#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

namespace {
constexpr int kCom = 48; // as with --link /dev/ttyUSB31
constexpr int kAnswerMs = 10000;

class Soak
{
public:
    explicit Soak(int seconds) : m_seconds(seconds) {}
    int run();

private:
    bool startSimulator();
    void stopSimulator();
    bool waitFor(const std::function<bool()> &condition, int timeoutMs = kAnswerMs);
    bool round();
    bool serialShows(const QString &text) const
    {
        return m_fixture.textBox("Text3")->toPlainText().contains(text);
    }
    bool logShows(const QString &text) const
    {
        return m_fixture.textBox("Text5")->toPlainText().contains(text);
    }
    bool fail(const char *what);
    void report(bool last);

    const int m_seconds;
    ConsoleFixture m_fixture;
    std::unique_ptr<QProcess> m_simulator;
    QElapsedTimer m_clock;
    qint64 m_lastReport = -1;
    quint16 m_port = 0;
    int m_rounds = 0;
    int m_unplugs = 0;
    qint64 m_firstRss = 0;
    int m_firstFds = 0;
};

bool Soak::startSimulator()
{
    m_simulator = std::make_unique<QProcess>();
    m_simulator->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_simulator->start(QStringLiteral(ESP8266_SIM_PATH), QStringList());
    if (!m_simulator->waitForStarted() || !m_simulator->waitForReadyRead(kAnswerMs))
        return false;
    m_fixture.devices.insert(kCom, QString::fromLocal8Bit(m_simulator->readLine().trimmed()));
    return true;
}

void Soak::stopSimulator()
{
    m_simulator->terminate();
    m_simulator->waitForFinished(kAnswerMs);
    m_simulator.reset();
}

bool Soak::waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5); // sleeps in the event loop until something happens or 5 ms pass
    }
    return true;
}

bool Soak::fail(const char *what)
{
    std::fprintf(stderr, "soak: round %d: %s\nserial box:\n%s\nTCP box:\n%s\n", m_rounds, what,
                 qPrintable(m_fixture.textBox("Text3")->toPlainText().right(2000)),
                 qPrintable(m_fixture.textBox("Text5")->toPlainText().right(2000)));
    return false;
}

bool Soak::round()
{
    auto *command1 = m_fixture.button("Command1");
    if (command1->text() != QStringLiteral("关闭")) {
        m_fixture.click("Command2");
        auto *combo1 = m_fixture.find<QComboBox>("Combo1");
        combo1->setCurrentIndex(combo1->findText(QStringLiteral("COM%1").arg(kCom)));
        m_fixture.click("Command1");
        if (command1->text() != QStringLiteral("关闭"))
            return fail("the simulator's port did not open");
    }
    const QString tag = QString::number(m_rounds);

    m_fixture.click("Command8");
    if (!waitFor([&] { return serialShows(QStringLiteral("OK")); }))
        return fail("no answer to AT");
    m_fixture.prompts.answers.push_back(ScriptedInputBox::type(QStringLiteral("1")));
    m_fixture.click("Command11");
    m_fixture.prompts.answers.push_back(ScriptedInputBox::acceptDefault());
    m_fixture.click("Command13");
    if (!waitFor([&] { return serialShows(QStringLiteral("WIFI GOT IP")); }))
        return fail("did not join");

    m_fixture.prompts.answers.push_back(
        ScriptedInputBox::type(QStringLiteral("\"127.0.0.1\",%1").arg(m_port)));
    m_fixture.click("Command16");
    if (!waitFor([&] { return logShows(QStringLiteral("新客户端接入")); }))
        return fail("the link did not reach the window's server");
    if (!waitFor([&] { return serialShows(QStringLiteral("CONNECT")); }))
        return fail("the module did not report the link");

    const QString up = QStringLiteral("数据 up ") + tag;
    m_fixture.prompts.answers.push_back(ScriptedInputBox::type(up));
    m_fixture.click("Command17");
    if (!waitFor([&] { return logShows(up); }))
        return fail("data did not reach the TCP box");
    const QString down = QStringLiteral("回复 down ") + tag;
    m_fixture.textBox("Text6")->setText(down);
    m_fixture.click("Command6");
    if (!waitFor([&] { return serialShows(down); }))
        return fail("data did not reach the module");

    m_fixture.click("Command20");
    if (!waitFor([&] { return logShows(QStringLiteral("客户端断开")); }))
        return fail("closing the link was not logged");
    if (!m_fixture.messages.shown.isEmpty())
        return fail(
            qPrintable(QStringLiteral("message: ") + m_fixture.messages.texts().join(QLatin1Char('|'))));
    m_fixture.click("Command5");
    m_fixture.click("Command7");
    m_fixture.prompts.asked.clear(); // the scripted dialog's own record, not the window's memory

    ++m_rounds;
    if (m_rounds % 25 == 0) {
        // The device goes away while open; the simulator comes back as a new device.
        ++m_unplugs;
        stopSimulator();
        if (!waitFor([&] { return command1->text() == QStringLiteral("打开"); }))
            return fail("the vanished device was not noticed");
        if (!startSimulator())
            return fail("the simulator did not start again");
    } else if (m_rounds % 5 == 0) {
        m_fixture.click("Command1");
    }
    return true;
}

void Soak::report(bool last)
{
    QFile statm(QStringLiteral("/proc/self/statm")); // sizes in pages: total, resident, ...
    const QList<QByteArray> pages =
        statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ') : QList<QByteArray>();
    const qint64 rss = pages.size() > 1 ? pages.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) / 1024 : 0;
    const int fds = int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    if (m_lastReport < 0) {
        m_firstRss = rss;
        m_firstFds = fds;
    }
    m_lastReport = m_clock.elapsed();
    std::printf("%s%6llds  rounds %5d  unplugs %3d  rss %7lld KiB (%+lld)  fds %3d (%+d)  cpu %llds\n",
                last ? "end " : "    ", m_lastReport / 1000, m_rounds, m_unplugs, rss, rss - m_firstRss, fds,
                fds - m_firstFds, qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec));
    std::fflush(stdout);
}

int Soak::run()
{
    if (!startSimulator()) {
        std::fprintf(stderr, "soak: the simulator did not start\n");
        return 1;
    }
    m_fixture.start();
    m_port = m_fixture.startServer();

    // A few rounds first, so that the figures start from a window that has done everything once.
    m_clock.start();
    for (int i = 0; i < 3; ++i) {
        if (!round())
            return 1;
    }
    m_clock.start();
    report(false);
    while (m_clock.elapsed() < m_seconds * 1000LL) {
        if (!round())
            return 1;
        if (m_clock.elapsed() - m_lastReport >= 10000)
            report(false);
    }
    report(true);
    stopSimulator();
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 600;
    return Soak(seconds > 0 ? seconds : 600).run();
}
