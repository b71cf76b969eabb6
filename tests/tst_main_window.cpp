#include "app/control_layout.h"
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
#include <QTimer>

#include <algorithm>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void controls();
    void tabWalksTheKeyboardOrder();
    void startUpWithoutPorts();
    void everyFieldTakesComposedTextAndIsNamed_data();
    void everyFieldTakesComposedTextAndIsNamed();
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
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    return {};
}

// The layout table's kind of control, as the window made it.
bool isKind(QWidget *w, ControlKind kind)
{
    switch (kind) {
    case ControlKind::Frame:
        return qobject_cast<QGroupBox *>(w);
    case ControlKind::Label:
        return qobject_cast<QLabel *>(w);
    case ControlKind::ComboBox:
        return qobject_cast<QComboBox *>(w);
    case ControlKind::Button:
        return qobject_cast<QPushButton *>(w);
    case ControlKind::LineEdit:
        return qobject_cast<QLineEdit *>(w);
    case ControlKind::TextBox:
        return qobject_cast<TextBox *>(w);
    case ControlKind::Line:
        return qobject_cast<QFrame *>(w) && qobject_cast<QFrame *>(w)->frameShape() == QFrame::HLine;
    }
    return false;
}
} // namespace

void TestMainWindow::controls()
{
    ConsoleFixture fixture;
    MainForm &window = fixture.start();
    QCOMPARE(window.windowTitle(), QStringLiteral("TavrinESP8266辅助工具"));
    QCOMPARE(window.size(), QSize(621, 559));
    for (const ControlEntry &entry : kControlLayout) {
        QWidget *control = fixture.find<QWidget>(entry.name);
        QVERIFY2(isKind(control, entry.kind), entry.name);
        QWidget *container = entry.container ? fixture.find<QWidget>(entry.container) : &window;
        QCOMPARE(control->parentWidget(), container);
        QVERIFY2(container->rect().contains(control->geometry()), entry.name);
        QCOMPARE(control->isEnabled(), entry.enabled);
        // Enter in a text box must not click a button; no caption is cut off.
        if (auto *button = qobject_cast<QPushButton *>(control)) {
            QVERIFY2(!button->isDefault() && !button->autoDefault(), entry.name);
            QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) < button->width(), entry.name);
        }
        // Nothing covers another control of its container; a label may reach under the field it names.
        for (const ControlEntry &other : kControlLayout) {
            if (&other < &entry && qstrcmp(other.container, entry.container) == 0 &&
                entry.kind != ControlKind::Label && other.kind != ControlKind::Label)
                QVERIFY2(!control->geometry().intersects(fixture.find<QWidget>(other.name)->geometry()),
                         qPrintable(QStringLiteral("%1 over %2").arg(entry.name, other.name)));
        }
    }
    QCOMPARE(fixture.find<QGroupBox>("Frame6")->title(), QStringLiteral("ESP8266 AT指令表"));
    QCOMPARE(fixture.button("Command19")->text(), QStringLiteral("Set TCP Client"));
    QCOMPARE(fixture.button("Command11")->toolTip(), QStringLiteral("设置应用模式"));
    QCOMPARE(fixture.textBox("Text4")->text(), QStringLiteral("AT\r\n"));
    QCOMPARE(fixture.find<QLineEdit>("Text2")->text(), QStringLiteral("8266"));
}

void TestMainWindow::tabWalksTheKeyboardOrder()
{
    ConsoleFixture fixture;
    MainForm &window = fixture.start();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    // Every usable control that takes input, in tabIndex order, then round to the first again; Tab in a
    // multi-line box moves on instead of typing a tab.
    std::vector<const ControlEntry *> order;
    for (const ControlEntry &entry : kControlLayout) {
        if (entry.enabled && entry.kind != ControlKind::Frame && entry.kind != ControlKind::Label &&
            entry.kind != ControlKind::Line)
            order.push_back(&entry);
    }
    std::sort(order.begin(), order.end(), [](auto *a, auto *b) { return a->tabIndex < b->tabIndex; });
    // That order reads the window: frame by frame, row by row, and column by column inside a frame.
    const auto place = [&fixture](const ControlEntry *entry) {
        const QWidget *control = fixture.find<QWidget>(entry->name);
        const QPoint frame = control->parentWidget()->pos();
        return std::tuple(frame.y(), frame.x(), control->x(), control->y());
    };
    QVERIFY(
        std::is_sorted(order.cbegin(), order.cend(), [&](auto *a, auto *b) { return place(a) < place(b); }));
    QStringList expected;
    for (const ControlEntry *entry : order)
        expected << QString::fromUtf8(entry->name);
    expected << expected.first();
    QStringList walked;
    for (int i = 0; i < expected.size(); ++i) {
        QWidget *focus = QApplication::focusWidget();
        while (focus && !expected.contains(focus->objectName()))
            focus = focus->parentWidget();
        walked << (focus ? focus->objectName() : QString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(walked, expected);
    for (const TextBox *box : window.findChildren<TextBox *>())
        QVERIFY2(!box->text().contains(QLatin1Char('\t')), qPrintable(box->objectName()));
}

void TestMainWindow::startUpWithoutPorts()
{
    ConsoleFixture fixture;
    fixture.start();
    auto *combo1 = fixture.find<QComboBox>("Combo1");
    auto *combo2 = fixture.find<QComboBox>("Combo2");
    QCOMPARE(combo1->count(), 0);
    QCOMPARE(combo2->currentText(), QStringLiteral("115200"));
    QVERIFY(!QHostAddress(fixture.find<QLineEdit>("Text1")->text()).isNull());
    QVERIFY(fixture.messages.shown.isEmpty());
}

void TestMainWindow::everyFieldTakesComposedTextAndIsNamed_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("multiLine");
    QTest::newRow("Combo1") << QStringLiteral("串口号：") << QString() << false;
    QTest::newRow("Combo2") << QStringLiteral("波特率：") << QString() << false;
    // Text1's tooltip lists this PC's addresses, for choosing another one.
    QTest::newRow("Text1") << QStringLiteral("本地IP：")
                           << QStringLiteral("本机的 IPv4 地址：\nwlp2s0：192.168.1.20（默认路由）") << false;
    QTest::newRow("Text2") << QStringLiteral("监听端口：") << QString() << false;
    QTest::newRow("Text3") << QStringLiteral("接收信息框：") << QStringLiteral("串口信息") << true;
    QTest::newRow("Text4") << QStringLiteral("发送信息框：") << QStringLiteral("串口信息") << true;
    QTest::newRow("Text5") << QStringLiteral("接收信息框：") << QStringLiteral("TCP Server信息") << true;
    QTest::newRow("Text6") << QStringLiteral("发送信息框：") << QStringLiteral("TCP Server信息") << true;
}

void TestMainWindow::everyFieldTakesComposedTextAndIsNamed()
{
    QFETCH(QString, label);
    QFETCH(QString, description);
    QFETCH(bool, multiLine);
    ConsoleFixture fixture;
    fixture.localInterfaces = [] { return LocalInterfaces{{"wlp2s0", {"192.168.1.20"}, true, false, 600}}; };
    fixture.start();
    auto *box = fixture.find<QWidget>(QTest::currentDataTag());
    auto *list = qobject_cast<QComboBox *>(box);
    const auto text = [box] { return captionOf(box).remove(QStringLiteral("\r\n")); };

    // A screen reader speaks a field with the label that points at it; a list's own name is its text.
    QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(box);
    const auto labelledBy = reader->relations(QAccessible::Label);
    QVERIFY(std::any_of(labelledBy.cbegin(), labelledBy.cend(), [&label](const auto &relation) {
        return qobject_cast<QLabel *>(relation.first->object()) &&
               relation.first->text(QAccessible::Name) == label;
    }));
    if (!list)
        QCOMPARE(reader->text(QAccessible::Name), label);
    QCOMPARE(reader->text(QAccessible::Description), description);
    QCOMPARE(bool(reader->state().multiLine), multiLine);

    box->setFocus();
    QMetaObject::invokeMethod(box, multiLine ? "selectAll" : list ? "clearEditText" : "clear");
    const QString before = text();
    QInputMethodEvent composing(QStringLiteral("shuju"), {});
    QCoreApplication::sendEvent(box, &composing);
    QCOMPARE(text(), before); // shown at the caret, not yet typed
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("数据"));
    QCoreApplication::sendEvent(box, &commit);
    QCOMPARE(text(), QStringLiteral("数据"));
}

void TestMainWindow::noticeShowsOverItsWindowWithNoWindowActive()
{
    installQtTranslations(*qApp);
    QWidget owner;
    owner.show();
    // Qt 6.5 deprecates this without a replacement that leaves no window active.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    QApplication::setActiveWindow(nullptr);
    QT_WARNING_POP

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
