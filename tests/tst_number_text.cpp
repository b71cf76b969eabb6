#include "platform/number_text.h"

#include <QTest>

class TestNumberText : public QObject
{
    Q_OBJECT

private slots:
    void numberTexts_data();
    void numberTexts();
};

void TestNumberText::numberTexts_data()
{
    // What the number boxes make of a text: the port box and the mode answer round it (a half to the
    // even neighbour) into 16 bits, the listening port rounds it down into 32 bits; none means no
    // number. A baud rate is plain ASCII digits from 1 to 2^31 - 1.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("rounded");
    QTest::addColumn<QVariant>("floored");
    QTest::addColumn<bool>("rate");
    const QVariant none;
    const auto row = [](const char *tag, const QString &text, const QVariant &rounded,
                        const QVariant &floored,
                        bool rate = false) { QTest::newRow(tag) << text << rounded << floored << rate; };
    // clang-format off
    row("plain", "8266", 8266, 8266, true);
    row("leading zeros", "0009600", 9600, 9600, true);
    row("2.5 to even 2, down to 2", "2.5", 2, 2);
    row("3.5 to even 4, down to 3", "3.5", 4, 3);
    row("-0.5 to 0, down to -1", "-0.5", 0, -1);
    row("point and no fraction", "8266.", 8266, 8266);
    row("fraction alone", ".5", 0, 0);
    row("sign and blanks around", " +7\t", 7, 7);
    row("ideographic and no-break spaces", QString::fromUtf16(u"\x3000" "8266\xa0"), 8266, 8266);
    row("line break after", "9600\n", 9600, 9600);
    row("zero", "0", 0, 0);
    row("16-bit ends", "-32768", -32768, -32768);
    row("past 16 bits", "32768", none, 32768, true);
    row("32-bit end", "2147483647", none, 2147483647, true);
    row("past 32 bits", "2147483648", none, none);
    row("past 32 bits below", "-2147483648.5", none, none);
    row("too long for a double", "1" + QString(400, QLatin1Char('0')), none, none);
    row("empty", "", none, none);
    row("sign alone", "-", none, none);
    row("point alone", ".", none, none);
    row("two points", "2.5.1", none, none);
    row("exponent", "1e3", none, none);
    row("thousands separator", "8,266", none, none);
    row("blank inside", "1 2", none, none);
    row("hexadecimal", "0x10", none, none);
    row("word", "station", none, none);
    row("rate with junk after", "115200abc", none, none);
    row("sign before a rate", "+9600", 9600, 9600);
    row("full-width digits", QString::fromUtf16(u"\xff18\xff12\xff16\xff16"), none, none);
    row("Arabic-Indic digit", QString::fromUtf16(u"\x0666"), none, none);
    row("lone surrogate", QString::fromUtf16(u"8\xd800", 2), none, none);
    row("NUL after", QString::fromUtf16(u"8266\0", 5), none, none);
    row("control characters", "\x01\x02", none, none);
    // clang-format on
}

void TestNumberText::numberTexts()
{
    QFETCH(QString, text);
    QFETCH(QVariant, rounded);
    QFETCH(QVariant, floored);
    QFETCH(bool, rate);
    const auto variant = [](auto value) { return value ? QVariant(int(*value)) : QVariant(); };
    QCOMPARE(variant(toInt16(text)), rounded);
    QCOMPARE(variant(floorToInt32(text)), floored);
    QCOMPARE(variant(parseBaudRate(text)), rate ? floored : QVariant());
}

QTEST_MAIN(TestNumberText)
#include "tst_number_text.moc"
