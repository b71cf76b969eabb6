#include "serial/byte_ring.h"

#include <QTest>

#include <vector>

class TestByteRing : public QObject
{
    Q_OBJECT

private slots:
    void bytesComeOutInOrder_data();
    void bytesComeOutInOrder();
};

namespace {
constexpr int kKiB = 1024;

// The n-th byte pushed, so that a byte out of place or repeated shows.
char byteAt(qint64 n)
{
    return char(n * 7 + n / 251);
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
    std::vector<char> buffer;
    for (const int step : steps) {
        if (step > 0) {
            QVERIFY(step <= ring.room());
            buffer.resize(size_t(step));
            for (int i = 0; i < step; ++i)
                buffer[size_t(i)] = byteAt(pushed + i);
            ring.push(buffer.data(), step);
            pushed += step;
        } else {
            buffer.assign(size_t(-step), '\0');
            const qsizetype count = ring.pop(buffer.data(), -step);
            QCOMPARE(count, std::min<qint64>(-step, pushed - popped));
            for (qsizetype i = 0; i < count; ++i) {
                if (buffer[size_t(i)] != byteAt(popped + i))
                    QFAIL(qPrintable(QStringLiteral("byte %1 out of order").arg(popped + i)));
            }
            popped += count;
        }
        QCOMPARE(ring.size(), pushed - popped);
        QCOMPARE(ring.room(), limit - ring.size());
    }
}

QTEST_MAIN(TestByteRing)
#include "tst_byte_ring.moc"
