#include "support/console_fixture.h"
#include "support/fault_probes.h"
#include "support/pty.h"
#include "textbox/text_box.h"

#include <QLineEdit>
#include <QPushButton>

// Tens of megabytes pouring in on each link: every byte must reach its box, in order, while the window
// keeps answering and memory stays in proportion to the text held. These take a while; a sanitizer
// build does not run them.
class TestFloods : public QObject
{
    Q_OBJECT

private slots:
    void serialFloodArrivesWhole_data();
    void serialFloodArrivesWhole();
    void tcpFloodArrivesWhole_data();
    void tcpFloodArrivesWhole();

private:
    static void report(const char *link, qint64 bytes, const LatencyProbe &probe, qint64 rssBefore,
                       qint64 rssAfter, qint64 msElapsed);
};

namespace {
constexpr qint64 kMiB = 1024 * 1024;
// Past this the window would feel stuck to a person; far above what a working window needs.
constexpr std::chrono::milliseconds kLatencyBound{100};
// A text box holds two bytes per character plus the bookkeeping of each line; eight bytes of memory
// per byte received allows for that, the decoder's and the socket's buffers, and allocator slack.
constexpr qint64 kMemoryPerByte = 8;
const QString kTimestamp = QStringLiteral("14-12-01 07:56:49");
} // namespace

void TestFloods::report(const char *link, qint64 bytes, const LatencyProbe &probe, qint64 rssBefore,
                        qint64 rssAfter, qint64 msElapsed)
{
    qInfo("%s: %lld MiB in %lld ms, worst event-loop delay %lld ms over %d ticks, RSS %lld -> %lld MiB, "
          "peak %lld MiB",
          link, bytes / kMiB, msElapsed, qint64(probe.worst().count()), probe.ticks(), rssBefore / kMiB,
          rssAfter / kMiB, peakResidentBytes() / kMiB);
}

void TestFloods::serialFloodArrivesWhole_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::newRow("64 MiB") << 64 * kMiB;
}

void TestFloods::serialFloodArrivesWhole()
{
    QFETCH(qint64, bytes);
    ConsoleFixture fixture;
    Pty module;
    fixture.devices.insert(6, module.slavePath());
    fixture.start();
    fixture.openPort(6);
    const TextBox &received = *fixture.textBox("Text3");

    const qint64 rssBefore = residentBytes();
    QElapsedTimer elapsed;
    elapsed.start();
    LatencyProbe probe;
    probe.start();
    FloodWriter writer(module.masterFd(), bytes, false);
    // Every line ends in CR LF, so the box holds one block per line plus the empty one after the last.
    QTRY_VERIFY_WITH_TIMEOUT(writer.finished() && received.lineCount() == writer.linesWritten() + 1, 600000);
    probe.stop();
    const qint64 rssAfter = residentBytes();
    report("serial", bytes, probe, rssBefore, rssAfter, elapsed.elapsed());

    QCOMPARE(writer.error(), 0);
    QVERIFY(bytes - writer.bytesWritten() < 256); // whole lines, up to the limit
    FloodChecker checker;
    const qint64 lines = writer.linesWritten();
    forEachLine(received, [&](const QString &text) {
        return checker.linesSeen() == lines ? text.isEmpty() : checker.line(text);
    });
    QVERIFY2(checker.firstMismatch().isEmpty(), qPrintable(checker.firstMismatch()));
    QCOMPARE(checker.linesSeen(), lines);
    QVERIFY(received.lineText(lines).isEmpty());
    QVERIFY(fixture.messages.shown.isEmpty());

    QVERIFY2(probe.worst() < kLatencyBound, qPrintable(QString::number(probe.worst().count())));
    QVERIFY2(rssAfter - rssBefore < kMemoryPerByte * writer.bytesWritten(),
             qPrintable(QString::number((rssAfter - rssBefore) / kMiB)));
}

void TestFloods::tcpFloodArrivesWhole_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::newRow("100 MiB") << 100 * kMiB;
}

void TestFloods::tcpFloodArrivesWhole()
{
    QFETCH(qint64, bytes);
    ConsoleFixture fixture;
    fixture.start();
    const quint16 port = fixture.startServer();
    const TextBox &log = *fixture.textBox("Text5");

    const int client = connectLoopback(port);
    QVERIFY(client >= 0);
    QTRY_COMPARE(log.lineCount(), 3); // timestamp, "新客户端接入", empty
    QCOMPARE(log.lineText(1), QStringLiteral("新客户端接入"));

    const qint64 rssBefore = residentBytes();
    QElapsedTimer elapsed;
    elapsed.start();
    LatencyProbe probe;
    probe.start();
    // The client closes its end right after the last byte: its leaving is logged after all the data.
    FloodWriter writer(client, bytes, true);
    QTRY_VERIFY_WITH_TIMEOUT(
        writer.finished() && log.lineText(log.lineCount() - 2) == QStringLiteral("客户端断开"), 600000);
    probe.stop();
    const qint64 rssAfter = residentBytes();
    report("tcp", bytes, probe, rssBefore, rssAfter, elapsed.elapsed());
    QCOMPARE(writer.error(), 0);
    QVERIFY(bytes - writer.bytesWritten() < 256);

    // Each block of data is logged as timestamp, CR LF, data, CR LF: the data of consecutive entries,
    // joined, must be the flood. A line split between two blocks continues in the next entry.
    FloodChecker checker;
    QString partial;
    int entries = 0;
    bool entryStart = false;
    bool lfOfSplitPair = false;
    qsizetype block = 0;
    bool wellFormed = true;
    const qsizetype lastDataBlock = log.lineCount() - 4; // before: timestamp, "客户端断开", empty
    forEachLine(log, [&](const QString &text) {
        const qsizetype number = block++;
        if (number < 2 || number > lastDataBlock)
            return true;
        if (text == kTimestamp) {
            ++entries;
            entryStart = true;
            return true;
        }
        if (std::exchange(entryStart, false)) {
            // A CR LF pair split between two blocks: the CR ended the line in the last entry, the LF
            // shows as an empty line opening this one. The flood has no empty lines of its own.
            lfOfSplitPair = text.isEmpty() && partial.isEmpty();
            partial += text;
            return true;
        }
        if (!std::exchange(lfOfSplitPair, false))
            wellFormed = checker.line(partial);
        partial = text;
        return wellFormed;
    });
    QVERIFY2(checker.firstMismatch().isEmpty(), qPrintable(checker.firstMismatch()));
    QVERIFY(wellFormed);
    QCOMPARE(partial, QString());
    QCOMPARE(checker.linesSeen(), writer.linesWritten());
    qInfo("tcp: %d blocks of data logged", entries);
    QVERIFY(fixture.messages.shown.isEmpty());

    QVERIFY2(probe.worst() < kLatencyBound, qPrintable(QString::number(probe.worst().count())));
    QVERIFY2(rssAfter - rssBefore < kMemoryPerByte * writer.bytesWritten(),
             qPrintable(QString::number((rssAfter - rssBefore) / kMiB)));
}

QTEST_MAIN(TestFloods)
#include "tst_floods.moc"
