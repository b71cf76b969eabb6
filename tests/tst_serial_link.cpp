#include "serial/serial_link.h"
#include "support/pty.h"

#include <QProcess>
#include <QTest>

Q_DECLARE_METATYPE(SerialLink::OpenError)

class TestSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void openSaysWhyItFailed_data();
    void openSaysWhyItFailed();
};

void TestSerialLink::openSaysWhyItFailed_data()
{
    // COM1 is a fresh pseudo-terminal, "denied" or "held" by another program, or the device named.
    QTest::addColumn<int>("comNumber");
    QTest::addColumn<QString>("com1");
    QTest::addColumn<SerialLink::OpenError>("error");
    using E = SerialLink::OpenError;
    // clang-format off
    QTest::newRow("opens") << 1 << "" << E::None;
    QTest::newRow("no COM0") << 0 << "" << E::Missing;
    QTest::newRow("no device for the number") << 2 << "" << E::Missing;
    QTest::newRow("device gone") << 1 << "/dev/no-such-tty" << E::Missing;
    QTest::newRow("not a serial port") << 1 << "/dev/null" << E::Refused;
    QTest::newRow("no right to it") << 1 << "denied" << E::Denied;
    QTest::newRow("held by another program") << 1 << "held" << E::Busy;
    // clang-format on
}

void TestSerialLink::openSaysWhyItFailed()
{
    QFETCH(int, comNumber);
    QFETCH(QString, com1);
    QFETCH(SerialLink::OpenError, error);
    Pty pty;
    const QString path = com1.startsWith(QLatin1Char('/')) ? com1 : pty.slavePath();
    const DeviceFacts facts{[&](const QString &) { return com1 != QLatin1String("denied"); },
                            [](const QString &) { return DeviceDetails{}; },
                            [](const QStringList &) { return DeviceHolders{}; }};
    SerialLink link([&](int n) { return n == 1 ? path : QString(); }, facts);
    QProcess holder;
    if (com1 == QLatin1String("held")) {
        holder.start(QStringLiteral(PORT_HOLDER_PATH), {path});
        QVERIFY(holder.waitForReadyRead(10000));
    }
    QCOMPARE(link.open(comNumber, 115200), error);
    QCOMPARE(link.isOpen(), error == SerialLink::OpenError::None);
    holder.closeWriteChannel();
    holder.waitForFinished(10000);
}

QTEST_MAIN(TestSerialLink)
#include "tst_serial_link.moc"
