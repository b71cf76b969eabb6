#include "platform/link_codec.h"
#include "serial/port_map.h"
#include "serial/serial_port.h"

#include <QElapsedTimer>
#include <QTest>

class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void settings_data();
    void settings();
    void systemNumbering_data();
    void systemNumbering();
    void probingAbsentDevicesIsCheap();
    void decodingInPiecesEqualsDecodingWhole();
};

void TestSerialPort::settings_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("115200") << "115200,N,8,1" << true;
    QTest::newRow("74880 boot rate") << "74880,N,8,1" << true;
    QTest::newRow("zero") << "0,N,8,1" << false;
    QTest::newRow("negative") << "-9600,N,8,1" << false;
    QTest::newRow("exponent") << "1e9,N,8,1" << false;
    QTest::newRow("trailing junk") << "115200abc,N,8,1" << false;
    QTest::newRow("beyond 32 bits") << "99999999999,N,8,1" << false;
    QTest::newRow("empty baud") << ",N,8,1" << false;
    QTest::newRow("other parity") << "9600,E,8,1" << false;
    QTest::newRow("line break after") << "9600,N,8,1\n" << false;
}

void TestSerialPort::settings()
{
    QFETCH(QString, settings);
    QFETCH(bool, accepted);
    SerialPort port([](int) { return QString(); });
    QCOMPARE(port.setSettings(settings), accepted);
    QCOMPARE(port.settings(), accepted ? settings : QStringLiteral("9600,N,8,1"));
    if (!accepted)
        QCOMPARE(port.lastError(), SerialPort::kErrInvalidProperty);
}

void TestSerialPort::systemNumbering_data()
{
    QTest::addColumn<int>("com");
    QTest::addColumn<QString>("device");
    QTest::newRow("COM1") << 1 << "/dev/ttyS0";
    QTest::newRow("COM17") << 17 << "/dev/ttyUSB0";
    QTest::newRow("COM80") << 80 << "/dev/ttyACM31";
    QTest::newRow("COM100") << 100 << "/dev/rfcomm9";
    QTest::newRow("COM101") << 101 << "";
}

void TestSerialPort::systemNumbering()
{
    QFETCH(int, com);
    QFETCH(QString, device);
    QCOMPARE(systemPortDevice(com), device);
}

void TestSerialPort::probingAbsentDevicesIsCheap()
{
    SerialPort port([](int n) { return QStringLiteral("/dev/nonexistent-tty%1").arg(n); });
    QElapsedTimer timer;
    timer.start();
    for (int n = 1; n <= 100; ++n) {
        QVERIFY(port.setCommPort(n));
        QVERIFY(!port.setPortOpen(true));
        QCOMPARE(port.lastError(), SerialPort::kErrInvalidPort);
    }
    qInfo("100 absent devices probed in %lld ms", timer.elapsed());
}

void TestSerialPort::decodingInPiecesEqualsDecodingWhole()
{
    const QByteArray wire = LinkEncoder().encode(QStringLiteral("Tavrin出品，必属精品\r\n+IPD,4:数据\0end"));
    const QString whole = LinkDecoder().decode(wire);
    for (int cut = 1; cut < wire.size(); ++cut) {
        LinkDecoder decoder;
        QString pieces = decoder.decode(wire.left(cut));
        pieces += decoder.decode(wire.mid(cut));
        QVERIFY2(pieces == whole, qPrintable(QString::number(cut)));
    }
}

QTEST_MAIN(TestSerialPort)
#include "tst_serial_port.moc"
