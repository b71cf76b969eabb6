#include "support/accessibility_client.h"
#include "textbox/clipboard_copy.h"
#include "textbox/text_box.h"
#include "textbox/text_store.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <iterator>
#include <limits>

#include <unistd.h>

using Keys = QList<QKeyCombination>;

class TestTextBox : public QObject
{
    Q_OBJECT

private slots:
    void storeFollowsEveryEdit_data();
    void storeFollowsEveryEdit();
    void copyKeepsItsTextThroughAFlood();
    void heldBytesAreTheMemoryTaken_data();
    void heldBytesAreTheMemoryTaken();
    void arrivalsBreakLinesOnce_data();
    void arrivalsBreakLinesOnce();
    void setTextReadsBackExactly_data();
    void setTextReadsBackExactly();
    void caretModes_data();
    void caretModes();
    void keysEdit_data();
    void keysEdit();
    void undoAndRedo_data();
    void undoAndRedo();
    void clipboard();
    void clickPutsCaretWhereItIsDrawn();
    void longLineKeepsItsPlaces_data();
    void longLineKeepsItsPlaces();
    void partOfALineDrawsAsTheWhole_data();
    void partOfALineDrawsAsTheWhole();
    void wideLineReachesItsEnd();
    void floodStillRepaints();
    void placesPastWhatAnIntCounts();
    void readerWalksText_data();
    void readerWalksText();
    void readerEdits_data();
    void readerEdits();
    void clientHearsChanges();
};

namespace {
// One character in `wideOdds` is Chinese, widening the chunk it lands in; 'é' still fits Latin-1.
QString randomText(QRandomGenerator &random, qsizetype size, int wideOdds = 0)
{
    QString text(size, Qt::Uninitialized);
    for (QChar &c : text)
        c = random.bounded(12) == 0                         ? u'\n'
            : wideOdds > 0 && random.bounded(wideOdds) == 0 ? u'中'
            : random.bounded(50) == 0                       ? u'é'
                                                            : QChar(char16_t(u'a' + random.bounded(26)));
    return text;
}

// The box's own reading of its lines against the model's.
void verifyLines(const TextStore &store, const QString &model, QRandomGenerator &random)
{
    QCOMPARE(store.length(), model.size());
    QCOMPARE(store.lineCount(), model.count(u'\n') + 1);
    const QStringList lines = model.split(u'\n');
    for (int probe = 0; probe < 20; ++probe) {
        const qsizetype line = random.bounded(int(lines.size()));
        QCOMPARE(store.lineView(line), QStringView(lines.at(line)));
        const qsizetype position = random.bounded(int(model.size()) + 1);
        QCOMPARE(store.lineOf(position), QStringView(model).first(position).count(u'\n'));
    }
}

std::unique_ptr<TextBox> shownBox()
{
    auto box = std::make_unique<TextBox>();
    box->resize(330, 121);
    box->show();
    if (!QTest::qWaitForWindowExposed(box.get()))
        qFatal("text box not exposed");
    box->setFocus();
    return box;
}

// End shows the far end of the last line, Home the start, and with the view scrolled to the far end
// again a click where the caret was drawn puts it back there. A line may be taller than the box.
void verifyFarEndReached(TextBox &box)
{
    QScrollBar *bar = box.horizontalScrollBar();
    box.moveCursor(QTextCursor::End);
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    const QRect caret = box.cursorRect();
    const QPoint drawn(caret.center().x(), std::min(caret.center().y(), box.viewport()->height() / 2));
    QVERIFY(box.viewport()->rect().contains(drawn));
    box.moveCursor(QTextCursor::StartOfLine);
    QCOMPARE(bar->value(), 0);
    bar->setValue(bar->maximum());
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, drawn);
    QCOMPARE(box.cursorPosition(), box.length());
}

void press(TextBox &box, const Keys &keys)
{
    for (const QKeyCombination key : keys)
        QTest::keyClick(&box, key.key(), key.keyboardModifiers());
}

QString lines(int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("+CWLAP:(3,\"AP%1\",-60,\"aa:bb:cc:dd:ee:ff\",6)\r\n").arg(i);
    return text;
}
} // namespace

void TestTextBox::storeFollowsEveryEdit_data()
{
    QTest::addColumn<int>("initial");
    QTest::addColumn<int>("largestEdit");
    QTest::addColumn<int>("appendShare"); // of 10 edits
    QTest::addColumn<int>("wideOdds");
    QTest::newRow("edits across chunks") << 400000 << 150000 << 3 << 0;
    QTest::newRow("Latin-1 and Chinese chunks") << 400000 << 150000 << 5 << 200000;
}

void TestTextBox::storeFollowsEveryEdit()
{
    QFETCH(int, initial);
    QFETCH(int, largestEdit);
    QFETCH(int, appendShare);
    QFETCH(int, wideOdds);
    QRandomGenerator random(8266);
    TextStore store;
    QString model = randomText(random, initial, wideOdds);
    store.append(model);
    for (int step = 0; step < 60; ++step) {
        const QString inserted = randomText(random, random.bounded(largestEdit + 1), wideOdds);
        if (random.bounded(10) < appendShare) {
            store.append(inserted);
            model += inserted;
        } else {
            const qsizetype position = random.bounded(int(model.size()) + 1);
            const qsizetype removed =
                random.bounded(int(std::min<qsizetype>(model.size() - position, largestEdit)) + 1);
            store.replace(position, removed, inserted);
            model.replace(position, removed, inserted);
        }
        verifyLines(store, model, random);
    }
    QCOMPARE(store.text(), model);
}

void TestTextBox::copyKeepsItsTextThroughAFlood()
{
    // A copy taken during a flood (the clipboard's snapshot) shares the flood's memory; what the box
    // does later must not show in it. The flood fills more than one block of that memory, with a line
    // longer than what is left of the block, widens the chunk the copy ends in, edits the text the
    // copy holds and drops it from the front.
    QRandomGenerator random(8266);
    const QString mebibyte = randomText(random, 1 << 20);
    TextStore store;
    QString model;
    while (model.size() < 31 * mebibyte.size()) {
        store.append(mebibyte);
        model += mebibyte;
    }
    store.append(u"the end of the copy");
    model += QStringLiteral("the end of the copy");
    const TextStore::Snapshot copy = store.snapshot(5, model.size() - 5);
    store.append(u"数据 after the copy\n");
    const QString endless(3 << 20, u'x');
    for (qsizetype at = 0; at < endless.size(); at += 1 << 18)
        store.append(QStringView(endless).sliced(at, 1 << 18));
    store.append(mebibyte);
    store.replace(3, 2, u"中");
    store.removeFront(5 << 20);
    QString copied;
    copy.appendTo(copied, 0, 7);
    copy.appendTo(copied, 7, copy.size() - 7);
    QCOMPARE(copied, model.mid(5));
    model.replace(3, 2, QStringLiteral("中"))
        .remove(0, 5 << 20)
        .append(QStringLiteral("数据 after the copy\n") + endless + mebibyte);
    QCOMPARE(store.text(), model);
    verifyLines(store, model, random);
}

void TestTextBox::heldBytesAreTheMemoryTaken_data()
{
    // What a box counts against its ceiling is what the process holds for the text, whatever its shape:
    // a line break costs its place in the line index, a chunk widened late its narrow copy.
    QTest::addColumn<QString>("piece"); // appended over and over
    QRandomGenerator random(8266);
    QTest::newRow("80-column lines") << QStringLiteral(
        "+IPD,78:0123456789abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ012\n");
    QTest::newRow("line breaks only") << QStringLiteral("\n");
    QTest::newRow("AT echoes") << QStringLiteral("AT\n\nOK\n");
    QTest::newRow("one endless line") << QStringLiteral("abcdefgh");
    QTest::newRow("Chinese lines") << QStringLiteral("+IPD,8:数据数据\n");
    QTest::newRow("a Chinese character now and then") << randomText(random, 100000, 30000);
}

void TestTextBox::heldBytesAreTheMemoryTaken()
{
    QFETCH(QString, piece);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("a sanitizer holds freed memory back and keeps shadow memory of its own");
#endif
    const auto resident = [] {
        QFile statm(QStringLiteral("/proc/self/statm"));
        statm.open(QIODevice::ReadOnly);
        return statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
    };
    constexpr qint64 kMiB = 1 << 20;
    constexpr qint64 kSlack = 6 * kMiB; // the last pages of a block, the heap's own bookkeeping
    const QString block = piece.repeated(64 * 1024 / piece.size() + 1);
    // A store kept at a ceiling as the serial box keeps itself: past it the oldest text goes.
    constexpr qint64 kCeiling = 32 * kMiB;
    const qint64 before = resident();
    qint64 peak = 0;
    TextStore store;
    for (qint64 appended = 0; appended < 3 * kCeiling; appended += block.size()) {
        store.append(block);
        if (store.bytes() > kCeiling)
            store.removeFront(store.chunkBoundaryFreeing(store.bytes() - kCeiling + kCeiling / 8));
        QVERIFY(store.bytes() <= kCeiling);
        peak = std::max(peak, resident() - before);
    }
    QVERIFY2(peak <= kCeiling * 11 / 10 + kSlack, qPrintable(QString::number(peak / kMiB)));
}

void TestTextBox::arrivalsBreakLinesOnce_data()
{
    // clang-format off
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<QString>("shown");
    QTest::newRow("CR LF") << QStringList{"OK\r\n"} << "OK\n";
    QTest::newRow("CR LF split") << QStringList{"line1\r", "\nline2"} << "line1\nline2";
    QTest::newRow("LF alone after the CR") << QStringList{"a\r", "\n", "\n"} << "a\n\n";
    QTest::newRow("lone CR and LF") << QStringList{"a\rb\nc"} << "a\nb\nc";
    QTest::newRow("Unicode separators") << QStringList{QString::fromUtf16(u"a\u2028b\u2029c")} << "a\nb\nc";
    QTest::newRow("CR CR LF once, CR CR twice") << QStringList{"a\r\r\nb\r\rc\r\r\r\n"} << "a\nb\n\nc\n\n";
    // An empty piece stands for the box being cleared there.
    QTest::newRow("cleared between CR and LF") << QStringList{"OK\r", "", "\nready"} << "ready";
    QTest::newRow("cleared inside CR CR LF") << QStringList{"AT\r\r", "", "\nOK\r", "\rX"} << "OK\n\nX";
    const QString echo = QStringLiteral("AT\r\r\n\r\nOK\r\n"); // what the module sends for AT
    for (qsizetype at = 1; at < echo.size(); ++at)
        QTest::addRow("AT echo split at %d", int(at)) << QStringList{echo.first(at), echo.sliced(at)} << "AT\n\nOK\n";
    QStringList flood;
    for (int i = 0; i < 600; ++i)
        flood.append(lines(60).mid(i % 7)); // pieces cut mid-line and mid CR LF
    QString whole = flood.join(QString());
    QTest::newRow("flood across chunks") << flood << whole.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QStringList breaks{"\r\n", "\r", QString(QChar::LineSeparator), QString(QChar::ParagraphSeparator)};
    QString everyPlace, everyPlaceShown;
    for (int i = 0; i < 24; ++i) { // each kind of break at each place of an 8-character step
        everyPlace += QString(i, u'x') + breaks.at(i % 4);
        everyPlaceShown += QString(i, u'x') + u'\n';
    }
    QTest::newRow("breaks at every place") << QStringList{everyPlace} << everyPlaceShown;
    // clang-format on
}

void TestTextBox::arrivalsBreakLinesOnce()
{
    QFETCH(QStringList, pieces);
    QFETCH(QString, shown);
    TextBox box;
    for (const QString &piece : pieces) {
        if (piece.isEmpty())
            box.setText(piece);
        else
            box.append(piece, TextBox::Caret::ToEnd);
    }
    QCOMPARE(box.toPlainText(), shown);
    QCOMPARE(box.text(), QString(shown).replace(u'\n', QStringLiteral("\r\n")));
}

void TestTextBox::setTextReadsBackExactly_data()
{
    // clang-format off
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("mixed breaks") << "a\nb\rc\r\n" << "a\nb\nc\n";
    QTest::newRow("ends in CR") << "x\r" << "x\n";
    // clang-format on
}

void TestTextBox::setTextReadsBackExactly()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    auto box = shownBox();
    box->setText(text);
    QCOMPARE(box->text(), text);
    QCOMPARE(box->toPlainText(), shown);

    // An arrival right after a CR that ended the set text completes that line break.
    box->append(QStringLiteral("\nz"), TextBox::Caret::Keep);
    const QString joined = text.endsWith(u'\r') ? shown + u'z' : shown + QStringLiteral("\nz");
    QCOMPARE(box->toPlainText(), joined);
}

void TestTextBox::caretModes_data()
{
    QTest::addColumn<bool>("toEnd");
    QTest::newRow("serial box: caret and view to the newest") << true;
    QTest::newRow("log: caret, selection and view stay") << false;
}

void TestTextBox::caretModes()
{
    QFETCH(bool, toEnd);
    auto box = shownBox();
    box->append(lines(200), TextBox::Caret::ToEnd);

    box->moveCursor(QTextCursor::Start);
    box->moveCursor(QTextCursor::Right, QTextCursor::KeepAnchor);
    box->moveCursor(QTextCursor::Right, QTextCursor::KeepAnchor);
    box->verticalScrollBar()->setValue(0);
    box->append(lines(100), toEnd ? TextBox::Caret::ToEnd : TextBox::Caret::Keep);
    if (toEnd) {
        QCOMPARE(box->cursorPosition(), box->length());
        QCOMPARE(box->anchorPosition(), box->length());
        QCOMPARE(box->verticalScrollBar()->value(), box->verticalScrollBar()->maximum());
        QVERIFY(box->viewport()->rect().contains(box->cursorRect()));
    } else {
        QCOMPARE(box->cursorPosition(), 2);
        QCOMPARE(box->anchorPosition(), 0);
        QCOMPARE(box->verticalScrollBar()->value(), 0);
    }
}

void TestTextBox::keysEdit_data()
{
    // clang-format off
    QTest::addColumn<QString>("initial");
    QTest::addColumn<int>("caret");
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("caretAfter");
    const Keys none;
    QTest::newRow("Enter is CR LF") << "AT" << 2 << Keys{Qt::Key_Return} << "" << "AT\r\n" << 3;
    QTest::newRow("Backspace joins lines") << "a\r\nb" << 2 << Keys{Qt::Key_Backspace} << "" << "ab" << 1;
    QTest::newRow("typing replaces the selection") << "hello" << 0 << Keys{Qt::ShiftModifier | Qt::Key_Right, Qt::ShiftModifier | Qt::Key_Right} << "J" << "Jllo" << 1;
    QTest::newRow("up and down keep the column") << "abcdef\r\nab\r\nabcdef" << 15 << Keys{Qt::Key_Up, Qt::Key_Up} << "X" << "abcdeXf\r\nab\r\nabcdef" << 6;
    QTest::newRow("Tab types a tab") << "a" << 1 << Keys{Qt::Key_Tab} << "" << "a\t" << 2;
    QTest::newRow("Ctrl+letter types nothing") << "a" << 1 << Keys{Qt::ControlModifier | Qt::Key_K} << "" << "a" << 1;
    // clang-format on
}

void TestTextBox::keysEdit()
{
    QFETCH(QString, initial);
    QFETCH(int, caret);
    QFETCH(Keys, keys);
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(int, caretAfter);
    auto box = shownBox();
    box->setText(initial);
    for (int i = 0; i < caret; ++i)
        box->moveCursor(QTextCursor::Right);
    press(*box, keys);
    QTest::keyClicks(box.get(), typed);
    QCOMPARE(box->text(), text);
    QCOMPARE(box->cursorPosition(), caretAfter);
}

void TestTextBox::undoAndRedo_data()
{
    // clang-format off
    QTest::addColumn<bool>("undoEnabled");
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<QString>("text");
    const QKeyCombination undo = Qt::ControlModifier | Qt::Key_Z;
    QTest::newRow("delete, then typing, undone in turn") << true << Keys{Qt::Key_Backspace, Qt::Key_X, undo, undo} << "start AT+RST";
    QTest::newRow("switched off, as for the receive boxes") << false << Keys{undo} << "start AT+RST";
    // clang-format on
}

void TestTextBox::undoAndRedo()
{
    QFETCH(bool, undoEnabled);
    QFETCH(Keys, keys);
    QFETCH(QString, text);
    auto box = shownBox();
    box->setUndoRedoEnabled(undoEnabled);
    box->setText(QStringLiteral("start "));
    box->moveCursor(QTextCursor::End);
    QTest::keyClicks(box.get(), QStringLiteral("AT+RST"));
    press(*box, keys);
    QCOMPARE(box->text(), text);
}

void TestTextBox::clipboard()
{
    auto box = shownBox();
    box->append(QStringLiteral("one\r\ntwo"), TextBox::Caret::ToEnd);
    box->selectAll();
    box->copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("one\ntwo"));

    QGuiApplication::clipboard()->setText(QStringLiteral("a\r\nb\rc"));
    box->moveCursor(QTextCursor::Start);
    box->moveCursor(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
    box->paste();
    QCOMPARE(box->text(), QStringLiteral("a\r\nb\r\nc\r\ntwo"));

    // A whole log is gathered over several turns; a paste right after the copy still gets all of it.
    const QString log(ClipboardCopy::kSliceCharacters * 2 + 5, u'x');
    box->setText(log);
    box->selectAll();
    box->copy();
    box->moveCursor(QTextCursor::End);
    box->paste();
    QCOMPARE(box->text(), log + log);

    // One order for all boxes: a later copy elsewhere wins over a copy still being gathered, and a
    // paste elsewhere waits for the copy being gathered.
    auto other = shownBox();
    box->selectAll();
    box->copy();
    other->setText(QStringLiteral("AT"));
    other->selectAll();
    other->copy();
    for (int turn = 0; turn < 10; ++turn)
        QCoreApplication::processEvents();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("AT"));
    box->copy();
    other->paste();
    QCOMPARE(other->text(), log + log);

    // A copy still being gathered when the application quits reaches the clipboard all the same.
    other->append(QStringLiteral("the end"), TextBox::Caret::Keep);
    other->selectAll();
    other->copy();
    QVERIFY(QMetaObject::invokeMethod(qApp, "aboutToQuit"));
    QCOMPARE(QGuiApplication::clipboard()->text(),
             other->text().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

void TestTextBox::clickPutsCaretWhereItIsDrawn()
{
    const int position = 16; // in the Chinese on the second line
    auto box = shownBox();
    box->setText(QStringLiteral("AT+CWLAP\r\n+IPD,4:数据数据\r\nready\r\nWIFI GOT IP\r\nOK"));
    for (int i = 0; i < position; ++i)
        box->moveCursor(QTextCursor::Right);
    const QPoint drawn = box->cursorRect().center();
    box->moveCursor(QTextCursor::End);
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, drawn);
    QCOMPARE(box->cursorPosition(), position);
}

void TestTextBox::longLineKeepsItsPlaces_data()
{
    QTest::addColumn<QString>("piece");
    QTest::newRow("Latin-1") << QStringLiteral("+IPD,4:\tAT+CWLAP é ");
    QTest::newRow("Chinese") << QStringLiteral("+IPD,4:数据\tAT+CWLAP é ");
    QTest::newRow("pairs of surrogates") << QStringLiteral("+IPD,4:\tAT+CWLAP é \U0001F600");
}

void TestTextBox::longLineKeepsItsPlaces()
{
    QFETCH(QString, piece);
    // Past kLongLine a line is placed by its characters' advances instead of one layout of it all:
    // every caret must stay where the whole layout put it, and the far end must be reachable.
    auto box = shownBox();
    QString line;
    while (line.size() < TextStore::kLongLine)
        line += piece;
    line.truncate(TextStore::kLongLine);
    box->setText(line);
    QScrollBar *bar = box->horizontalScrollBar();
    const auto caretX = [&box, bar](qsizetype position) {
        box->setSelection(position, position);
        return box->cursorRect().x() + bar->value();
    };
    const qsizetype probes[] = {1, 8, 9, 10, 1001, 2500, TextStore::kLongLine};
    QList<int> laidOut;
    for (const qsizetype position : probes)
        laidOut.append(caretX(position));
    box->append(line.repeated(100), TextBox::Caret::Keep);
    for (int i = 0; i < laidOut.size(); ++i)
        QVERIFY2(qAbs(caretX(probes[i]) - laidOut[i]) <= 1, qPrintable(QString::number(probes[i])));

    verifyFarEndReached(*box);
}

void TestTextBox::partOfALineDrawsAsTheWhole_data()
{
    QTest::addColumn<QString>("piece");
    QTest::newRow("Latin, Chinese, Cyrillic, controls")
        << QStringLiteral("+IPD,9:数据\x01\x7f Привет OK\uE000\uFFFD ");
    QTest::newRow("tabs") << QStringLiteral("AT\t+CWLAP\t数据 ");
    QTest::newRow("Arabic among Latin, runs wider than the box")
        << QStringLiteral("AT ") + QStringLiteral("مرحبا بالعالم ").repeated(10) + QStringLiteral("123 OK ");
    QTest::newRow("combining marks") << QStringLiteral("e\u0301a\u0308o\u0323\u0302 AT ");
    QTest::newRow("Devanagari") << QStringLiteral("नमस्ते क्षत्रिय AT ");
    QTest::newRow("emoji sequences") << QStringLiteral("OK \U0001F44D\U0001F3FD \U0001F468\u200D\U0001F4BB ");
}

void TestTextBox::partOfALineDrawsAsTheWhole()
{
    QFETCH(QString, piece);
    // A narrow box, at the start of a line and scrolled into it, draws what a box wide enough for all
    // of it draws there.
    const QString line = piece.repeated(std::min<qsizetype>(30, TextStore::kLongLine / piece.size()));
    auto narrow = shownBox();
    // The narrow box has its characters measured ahead, in code order, as a window has what its links
    // can bring.
    QString characters;
    std::copy_if(piece.begin(), piece.end(), std::back_inserter(characters),
                 [](QChar c) { return !c.isSurrogate(); });
    std::sort(characters.begin(), characters.end());
    narrow->measureAhead(characters);
    QTRY_VERIFY(!narrow->measuringAhead());
    narrow->setText(line);
    QScrollBar *bar = narrow->horizontalScrollBar();
    QTRY_VERIFY(bar->maximum() > narrow->viewport()->width()); // once the line is measured
    auto wide = shownBox();
    wide->resize(bar->maximum() + 2 * narrow->width(), narrow->height());
    wide->setText(line);
    QCOMPARE(wide->horizontalScrollBar()->maximum(), 0);
    narrow->clearFocus();
    wide->clearFocus();
    for (const int scrolled : {0, bar->maximum() / 2}) {
        bar->setValue(scrolled);
        const QImage shown = narrow->viewport()->grab().toImage();
        const QImage whole =
            wide->viewport()->grab(QRect(QPoint(scrolled, 0), narrow->viewport()->size())).toImage();
        QVERIFY2(shown == whole, qPrintable(QString::number(scrolled)));
    }
}

void TestTextBox::wideLineReachesItsEnd()
{
    // A line wider than the box is painted measured only as far as the view reaches. End still
    // reaches its end at once, and the scroll bar reaches it once the box is quiet.
    const QString line = QStringLiteral("AT+CWLAP 数据 \uFFFD").repeated(200);
    auto ended = shownBox();
    ended->setText(line);
    verifyFarEndReached(*ended);
    auto quiet = shownBox();
    quiet->setText(line);
    const int end = ended->horizontalScrollBar()->maximum(); // the caret's place, rounded up
    QTRY_VERIFY(std::abs(quiet->horizontalScrollBar()->maximum() - end) <= 1);
}

void TestTextBox::floodStillRepaints()
{
    auto box = shownBox();
    for (int i = 0; i < 50; ++i)
        box->append(lines(20), TextBox::Caret::ToEnd);
    // Painting comes back once the text has poured in.
    QTRY_VERIFY(box->updatesEnabled());
}

void TestTextBox::placesPastWhatAnIntCounts()
{
    // In a font this large a line passes 2^31 pixels at half a million characters, and the lines a
    // view can be away from the caret at the same count: what a log of 1 G characters or 200 M lines
    // meets in the usual font.
    auto box = shownBox();
    QFont huge = box->font();
    huge.setPixelSize(4000);
    box->setFont(huge);
    const qsizetype characters = (qint64(1) << 31) / QFontMetrics(huge).horizontalAdvance(u'x') + 100000;
    box->append(QString(characters, u'x'), TextBox::Caret::Keep);
    verifyFarEndReached(*box);

    box->setText(QString(characters, u'\n'));
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
    QVERIFY(box->cursorRect().bottom() < 0);
    QVERIFY(box->inputMethodQuery(Qt::ImCursorRectangle).toRect().bottom() < 0);
}

using Unit = std::tuple<QString, int, int>; // text, start, end; no unit reads as "", -1, -1
Q_DECLARE_METATYPE(QAccessible::TextBoundaryType)

void TestTextBox::readerWalksText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QAccessible::TextBoundaryType>("boundary");
    QTest::addColumn<Unit>("before");
    QTest::addColumn<Unit>("at");
    QTest::addColumn<Unit>("after");
    const QString reply = QStringLiteral("AT\r\nOK\r\nERROR");
    const Unit none{QString(), -1, -1};
    QTest::newRow("char, pair of surrogates")
        << QStringLiteral("a\U0001F600b") << 1 << QAccessible::CharBoundary << Unit{"a", 0, 1}
        << Unit{QStringLiteral("\U0001F600"), 1, 3} << Unit{"b", 3, 4};
    QTest::newRow("word, line break") << reply << 2 << QAccessible::WordBoundary << Unit{"AT", 0, 2}
                                      << Unit{"\n", 2, 3} << Unit{"OK", 3, 5};
    QTest::newRow("line") << reply << 4 << QAccessible::LineBoundary << Unit{"AT\n", 0, 3}
                          << Unit{"OK\n", 3, 6} << Unit{"ERROR", 6, 11};
    QTest::newRow("line, end of text")
        << reply << 11 << QAccessible::LineBoundary << Unit{"OK\n", 3, 6} << Unit{"ERROR", 6, 11} << none;
    QTest::newRow("empty box") << QString() << 0 << QAccessible::LineBoundary << none << Unit{"", 0, 0}
                               << none;
}

void TestTextBox::readerWalksText()
{
    QFETCH(QString, text);
    QFETCH(int, offset);
    QFETCH(QAccessible::TextBoundaryType, boundary);
    auto box = shownBox();
    box->setText(text);
    QAccessibleTextInterface *reader = QAccessible::queryAccessibleInterface(box.get())->textInterface();
    QVERIFY(reader);
    const auto read = [&](auto query) {
        int start = 0;
        int end = 0;
        const QString found = (reader->*query)(offset, boundary, &start, &end);
        return Unit{found, start, end};
    };
    QTEST(read(&QAccessibleTextInterface::textBeforeOffset), "before");
    QTEST(read(&QAccessibleTextInterface::textAtOffset), "at");
    QTEST(read(&QAccessibleTextInterface::textAfterOffset), "after");
    // "Everything" asked with an end past the text is the text, not room for two thousand million.
    const QString all = reader->text(0, std::numeric_limits<int>::max());
    QCOMPARE(all, box->toPlainText());
    QVERIFY(all.capacity() <= all.size() + 64);
}

void TestTextBox::readerEdits_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("inserted");
    QTest::addColumn<QString>("expected");
    // The box holds "AT\r\nOK", read as "AT\nOK".
    QTest::newRow("insert") << 2 << 2 << QStringLiteral("+GMR") << QStringLiteral("AT+GMR\r\nOK");
    QTest::newRow("delete a line break") << 2 << 3 << QString() << QStringLiteral("ATOK");
    QTest::newRow("replace with breaks")
        << 0 << 2 << QStringLiteral("数据\r\n\r") << QStringLiteral("数据\r\n\r\n\r\nOK");
}

void TestTextBox::readerEdits()
{
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QString, inserted);
    auto box = shownBox();
    box->setText(QStringLiteral("AT\r\nOK"));
    QAccessibleEditableTextInterface *editor =
        QAccessible::queryAccessibleInterface(box.get())->editableTextInterface();
    editor->replaceText(start, end, inserted);
    QTEST(box->text(), "expected");
}

void TestTextBox::clientHearsChanges()
{
    auto box = shownBox();
    AccessibilityClient client;
    box->append(QStringLiteral("AT\r"), TextBox::Caret::ToEnd);
    box->append(QStringLiteral("\nOK\r\n"), TextBox::Caret::ToEnd);
    QCOMPARE(client.caretSeenAt, 6);
    box->setText(QStringLiteral("x"));
    const QList<std::tuple<QAccessible::Event, int, QString>> expected = {
        {QAccessible::TextInserted, 0, "AT\n"}, // the CR that ends one arrival breaks the line once
        {QAccessible::TextInserted, 3, "OK\n"},
        {QAccessible::TextRemoved, 0, "AT\nOK\n"},
        {QAccessible::TextInserted, 0, "x"},
    };
    QCOMPARE(client.textChanges.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const AccessibilityClient::Heard &heard = client.textChanges.at(i);
        QCOMPARE(std::tuple(heard.type, heard.position, heard.text), expected.at(i));
        QCOMPARE(heard.object, box.get());
    }
}

QTEST_MAIN(TestTextBox)
#include "tst_text_box.moc"
