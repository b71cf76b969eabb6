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
} // namespace

void TestMainWindow::controls()
{
    ConsoleFixture fixture;
    MainForm &window = fixture.start();
    QCOMPARE(window.windowTitle(), QStringLiteral("TavrinESP8266辅助工具"));
    QCOMPARE(window.size(), QSize(621, 559));
    // clang-format off
    const char *const captions[][3] = {
        {"Frame1", "", "串口配置"}, {"串口号", "Frame1", "串口号："}, {"Label1", "Frame1", "波特率："},
        {"Command1", "Frame1", "打开"}, {"Command2", "Frame1", "刷新"}, {"Frame2", "", "串口信息"},
        {"Label4", "Frame2", "接收信息框："}, {"Label5", "Frame2", "发送信息框："}, {"Text4", "Frame2", "AT\r\n"},
        {"Frame3", "", "TCP Server配置"}, {"Label2", "Frame3", "本地IP："}, {"Label3", "Frame3", "监听端口："},
        {"Text2", "Frame3", "8266"}, {"Command3", "Frame3", "开启监听"}, {"Frame4", "", "TCP Server信息"},
        {"Label6", "Frame4", "接收信息框："}, {"Label7", "Frame4", "发送信息框："}, {"Frame5", "", "功能选项"},
        {"Command4", "Frame5", "发送串口信息"}, {"Command5", "Frame5", "清空串口内容"},
        {"Command6", "Frame5", "发送TCP信息"}, {"Command7", "Frame5", "清空TCP内容"},
        {"Frame6", "", "ESP8266 AT指令表"}, {"Command8", "Frame6", "AT测试"}, {"Command9", "Frame6", "版本号"},
        {"Command10", "Frame6", "重启模块"}, {"Command11", "Frame6", "设置模式"}, {"Command12", "Frame6", "列出AP"},
        {"Command13", "Frame6", "加入AP"}, {"Command14", "Frame6", "退出AP"}, {"Command15", "Frame6", "查看IP"},
        {"Command16", "Frame6", "建立TCP"}, {"Command17", "Frame6", "发送TCPData"}, {"Command18", "Frame6", "TCP状态"},
        {"Command19", "Frame6", "Set TCP Client"}, {"Command20", "Frame6", "关闭TCP连接"},
        {"Command21", "Frame6", "TCP连接模式"}};
    // clang-format on
    for (const auto &[name, container, caption] : captions) {
        QWidget *control = fixture.find<QWidget>(name);
        QCOMPARE(captionOf(control), QString::fromUtf8(caption));
        QCOMPARE(control->parentWidget()->objectName(), QString::fromUtf8(container));
        // Enter in a text box must not click a button.
        if (auto *button = qobject_cast<QPushButton *>(control))
            QVERIFY2(!button->isDefault() && !button->autoDefault(), name);
    }
    QVERIFY(!fixture.button("Command4")->isEnabled());
    QVERIFY(!fixture.button("Command6")->isEnabled());
    QCOMPARE(window.focusWidget(), fixture.find<QComboBox>("Combo1"));
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
    fixture.localInterfaces = [] { return LocalInterfaces{{"wlp2s0", {"192.168.1.20"}, true, false, true}}; };
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
    QApplication::setActiveWindow(nullptr);

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
