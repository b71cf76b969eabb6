#include "app/qt_translations.h"
#include "support/console_fixture.h"
#include "textbox/text_box.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHostAddress>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void controls_data();
    void controls();
    void keyboardOrder();
    void startUpWithoutPorts();
    void startUpSelectsLastPortFound();
    void everyBoxTakesComposedTextAndIsNamed_data();
    void everyBoxTakesComposedTextAndIsNamed();
    void noticeShowsOverItsWindowWithNoWindowActive();
};

namespace {
QString captionOf(QWidget *w)
{
    if (auto *b = qobject_cast<QPushButton *>(w))
        return b->text();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *t = qobject_cast<TextBox *>(w))
        return t->text();
    return {};
}
} // namespace

void TestMainWindow::controls_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<bool>("enabled");

    const auto row = [](const char *name, const char *caption, const char *container, QRect twips,
                        bool enabled = true) {
        QTest::newRow(name) << QString::fromUtf8(caption) << QString::fromUtf8(container) << twips << enabled;
    };
    // Rect(left, top, width, height) in twips, as the window was drawn.
    row("Frame1", "串口配置", "", {120, 120, 5175, 975});
    row("串口号", "串口号：", "Frame1", {120, 450, 855, 255});
    row("Label1", "波特率：", "Frame1", {2280, 450, 1095, 255});
    row("Combo1", "", "Frame1", {840, 400, 1335, 300});
    row("Combo2", "", "Frame1", {3000, 400, 1335, 300});
    row("Command1", "打开", "Frame1", {4440, 120, 615, 375});
    row("Command2", "刷新", "Frame1", {4440, 530, 615, 375});
    row("Frame2", "串口信息", "", {120, 1200, 5175, 4575});
    row("Label4", "接收信息框：", "Frame2", {120, 240, 1215, 375});
    row("Text3", "", "Frame2", {120, 480, 4935, 1815});
    row("Label5", "发送信息框：", "Frame2", {120, 2520, 1215, 255});
    row("Text4", "AT\r\n", "Frame2", {120, 2760, 4935, 1695});
    row("Frame3", "TCP Server配置", "", {5400, 120, 3855, 975});
    row("Label2", "本地IP：", "Frame3", {300, 315, 975, 255});
    row("Label3", "监听端口：", "Frame3", {120, 650, 1095, 255});
    row("Text2", "8266", "Frame3", {960, 600, 1575, 270});
    row("Command3", "开启监听", "Frame3", {2640, 240, 975, 615});
    row("Frame4", "TCP Server信息", "", {5400, 1200, 3855, 4575});
    row("Label6", "接收信息框：", "Frame4", {120, 240, 1215, 255});
    row("Text5", "", "Frame4", {120, 480, 3615, 1815});
    row("Text6", "", "Frame4", {120, 2760, 3615, 1695});
    row("Label7", "发送信息框：", "Frame4", {120, 2520, 1335, 255});
    row("Frame5", "功能选项", "", {120, 5880, 9135, 855});
    row("Command4", "发送串口信息", "Frame5", {240, 240, 1935, 495}, false);
    row("Command5", "清空串口内容", "Frame5", {2280, 240, 1935, 495});
    row("Command6", "发送TCP信息", "Frame5", {4920, 240, 1935, 495}, false);
    row("Command7", "清空TCP内容", "Frame5", {6960, 240, 1935, 495});
    row("Frame6", "ESP8266 AT指令表", "", {120, 6840, 9135, 1455});
    const char *atCaptions[] = {"AT测试",  "版本号",         "重启模块",    "设置模式",   "列出AP",
                                "加入AP",  "退出AP",         "查看IP",      "建立TCP",    "发送TCPData",
                                "TCP状态", "Set TCP Client", "关闭TCP连接", "TCP连接模式"};
    const int lefts[] = {120, 1320, 2520, 3720, 4920, 6240, 7560};
    const int widths[] = {975, 975, 975, 975, 1095, 1095, 1455};
    for (int i = 0; i < 14; ++i) {
        const QByteArray name = "Command" + QByteArray::number(8 + i);
        row(name.constData(), atCaptions[i], "Frame6", {lefts[i / 2], i % 2 ? 840 : 240, widths[i / 2], 495});
    }
}

void TestMainWindow::controls()
{
    QFETCH(QString, caption);
    QFETCH(QString, container);
    QFETCH(QRect, twips);
    QFETCH(bool, enabled);

    ConsoleFixture fixture;
    MainForm &window = fixture.start();
    QCOMPARE(window.windowTitle(), QStringLiteral("TavrinESP8266辅助工具"));
    QCOMPARE(window.size(), QSize(621, 559));

    auto *control = window.findChild<QWidget *>(QString::fromUtf8(QTest::currentDataTag()));
    QVERIFY(control);
    QCOMPARE(captionOf(control), caption);
    QCOMPARE(control->parentWidget()->objectName(), container);
    const QRect pixels(qRound(twips.x() / 15.0), qRound(twips.y() / 15.0), qRound(twips.width() / 15.0),
                       qRound(twips.height() / 15.0));
    QCOMPARE(control->geometry(), pixels);
    QCOMPARE(control->isEnabled(), enabled);
    if (auto *button = qobject_cast<QPushButton *>(control))
        QVERIFY(!button->isDefault() && !button->autoDefault());
}

void TestMainWindow::keyboardOrder()
{
    ConsoleFixture fixture;
    MainForm &window = fixture.start();
    QStringList expected = {"Combo1",   "Combo2", "Command1", "Command2", "Text1", "Text2",
                            "Command3", "Text3",  "Text4",    "Text5",    "Text6"};
    for (int n = 4; n <= 21; ++n)
        expected << QStringLiteral("Command%1").arg(n);

    QCOMPARE(window.focusWidget(), fixture.find<QComboBox>("Combo1"));
    static const QRegularExpression controlName(QStringLiteral("^(Combo|Command|Text)\\d+$"));
    QStringList order;
    QWidget *w = fixture.find<QComboBox>("Combo1");
    do {
        if (w->focusPolicy() & Qt::TabFocus && controlName.match(w->objectName()).hasMatch())
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != fixture.find<QComboBox>("Combo1") && order.size() < 40);
    QCOMPARE(order, expected);
    QCOMPARE(fixture.button("Command11")->toolTip(), QStringLiteral("设置应用模式"));
}

void TestMainWindow::startUpWithoutPorts()
{
    ConsoleFixture fixture;
    fixture.start();
    auto *combo1 = fixture.find<QComboBox>("Combo1");
    auto *combo2 = fixture.find<QComboBox>("Combo2");
    QCOMPARE(combo1->count(), 0);
    QCOMPARE(combo1->currentIndex(), -1);
    QCOMPARE(combo1->currentText(), QString());
    QStringList bauds;
    for (int i = 0; i < combo2->count(); ++i)
        bauds << combo2->itemText(i);
    QCOMPARE(bauds, QStringList({"110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200",
                                 "38400", "56000", "57600", "115200"}));
    QCOMPARE(combo2->currentIndex(), 12);
    QCOMPARE(combo2->currentText(), QStringLiteral("115200"));
    QVERIFY(!QHostAddress(fixture.find<QLineEdit>("Text1")->text()).isNull());
    QVERIFY(fixture.messages.shown.isEmpty());

    // With nothing to choose, opening asks the user to refresh and choose.
    fixture.click("Command1");
    QCOMPARE(fixture.messages.texts(), QStringList{QStringLiteral("请选刷新设备，并选择相应设备！")});
    QCOMPARE(fixture.messages.shown.first().icon, MessageBox::Icon::Warning);
    QCOMPARE(fixture.button("Command1")->text(), QStringLiteral("打开"));
}

void TestMainWindow::startUpSelectsLastPortFound()
{
    ConsoleFixture fixture;
    fixture.addPort(2);
    fixture.addPort(17);
    fixture.start();
    auto *combo1 = fixture.find<QComboBox>("Combo1");
    QCOMPARE(combo1->count(), 2);
    QCOMPARE(combo1->currentText(), QStringLiteral("COM17"));
    QCOMPARE(combo1->itemData(1, Qt::ToolTipRole).toString(), fixture.devices.value(17));
}

void TestMainWindow::everyBoxTakesComposedTextAndIsNamed_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("multiLine");
    QTest::newRow("Text1") << QStringLiteral("本地IP：") << QString() << false;
    QTest::newRow("Text2") << QStringLiteral("监听端口：") << QString() << false;
    QTest::newRow("Text3") << QStringLiteral("接收信息框：") << QStringLiteral("串口信息") << true;
    QTest::newRow("Text4") << QStringLiteral("发送信息框：") << QStringLiteral("串口信息") << true;
    QTest::newRow("Text5") << QStringLiteral("接收信息框：") << QStringLiteral("TCP Server信息") << true;
    QTest::newRow("Text6") << QStringLiteral("发送信息框：") << QStringLiteral("TCP Server信息") << true;
}

void TestMainWindow::everyBoxTakesComposedTextAndIsNamed()
{
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(bool, multiLine);
    ConsoleFixture fixture;
    fixture.start();
    auto *box = fixture.find<QWidget>(QTest::currentDataTag());
    const auto text = [box] { return captionOf(box).remove(QStringLiteral("\r\n")); };

    QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(box);
    QCOMPARE(reader->role(), QAccessible::EditableText);
    QCOMPARE(reader->text(QAccessible::Name), name);
    QCOMPARE(reader->text(QAccessible::Description), description);
    QCOMPARE(bool(reader->state().multiLine), multiLine);
    QVERIFY(reader->state().editable && reader->state().focusable);

    box->setFocus();
    QMetaObject::invokeMethod(box, multiLine ? "selectAll" : "clear");
    const QString before = text();
    QInputMethodEvent composing(QStringLiteral("shuju"), {});
    QCoreApplication::sendEvent(box, &composing);
    QCOMPARE(text(), before); // shown at the caret, not yet typed
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("数据"));
    QCoreApplication::sendEvent(box, &commit);
    QCOMPARE(text(), QStringLiteral("数据"));
    QInputMethodEvent nothing;
    QCoreApplication::sendEvent(box, &nothing);
    QCOMPARE(text(), QStringLiteral("数据"));
}

void TestMainWindow::noticeShowsOverItsWindowWithNoWindowActive()
{
    installQtTranslations(*qApp);
    QWidget owner;
    owner.show();
    QApplication::setActiveWindow(nullptr);
    QVERIFY(!QApplication::activeWindow());

    QString seen;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box->parentWidget() != &owner)
            return;
        seen = box->button(QMessageBox::Ok)->text();
        box->accept();
    });
    QtMessageBox notice([&owner] { return &owner; });
    notice.show(QStringLiteral("串口未打开！"), MessageBox::Icon::Warning);
    QCOMPARE(seen, QStringLiteral("确定"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
