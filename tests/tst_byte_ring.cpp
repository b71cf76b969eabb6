#include "serial/byte_ring.h"

#include <QTest>

class TestByteRing : public QObject
{
    Q_OBJECT

private slots:
    void bytesComeOutInOrder_data();
    void bytesComeOutInOrder();
};

namespace {
constexpr int kKiB = 1024;

// `count` bytes from the n-th pushed on, each telling its place, so that a byte out of place shows.
QByteArray stream(qint64 from, qsizetype count)
{
    QByteArray bytes(count, '\0');
    for (qsizetype i = 0; i < count; ++i)
        bytes[i] = char((from + i) * 7 + (from + i) / 251);
    return bytes;
}
} // namespace

void TestByteRing::bytesComeOutInOrder_data()
{
    // Each step pushes (positive) or pops at most (negative) that many bytes. The buffer starts at 64 KiB
    // and doubles up to the limit.
    QTest::addColumn<qsizetype>("limit");
    QTest::addColumn<QList<int>>("steps");
    QTest::newRow("pop from empty") << qsizetype(100) << QList<int>{-10};
    QTest::newRow("pop more than held") << qsizetype(100) << QList<int>{30, -50, 20, -50};
    QTest::newRow("full, then room again") << qsizetype(100) << QList<int>{100, -30, 30, -100, 100, -100};
    QTest::newRow("wrap around the end")
        << qsizetype(kKiB * kKiB) << QList<int>{60 * kKiB, -50 * kKiB, 30 * kKiB, -40 * kKiB, -10 * kKiB};
    QTest::newRow("grow while wrapped")
        << qsizetype(kKiB * kKiB) << QList<int>{60 * kKiB, -50 * kKiB, 30 * kKiB, 100 * kKiB, -200 * kKiB};
    QTest::newRow("grow to the limit, wrap, fill")
        << qsizetype(300 * kKiB)
        << QList<int>{250 * kKiB, -200 * kKiB, 250 * kKiB, -100 * kKiB, 100 * kKiB, -300 * kKiB};
    QTest::newRow("given back when emptied, grown again")
        << qsizetype(kKiB * kKiB) << QList<int>{200 * kKiB, -200 * kKiB, 70 * kKiB, 10, -70 * kKiB - 10};
}

void TestByteRing::bytesComeOutInOrder()
{
    QFETCH(qsizetype, limit);
    QFETCH(QList<int>, steps);
    ByteRing ring(limit);
    qint64 pushed = 0;
    qint64 popped = 0;
    for (const int step : steps) {
        if (step > 0) {
            QVERIFY(step <= ring.room());
            ring.push(stream(pushed, step).constData(), step);
            pushed += step;
        } else {
            QByteArray out(-step, '\0');
            out.resize(ring.pop(out.data(), -step));
            QCOMPARE(out.size(), std::min<qint64>(-step, pushed - popped));
            QVERIFY(out == stream(popped, out.size()));
            popped += out.size();
        }
        QCOMPARE(ring.size(), pushed - popped);
        QCOMPARE(ring.room(), limit - ring.size());
    }
}

QTEST_MAIN(TestByteRing)
#include "tst_byte_ring.moc"
