#include "app/main_form.h"

#include "app/control_layout.h"
#include "atpanel/at_panel.h"
#include "platform/message_box.h"
#include "platform/skin.h"
#include "serial/port_control.h"
#include "serial/serial_console.h"
#include "serial/serial_port.h"
#include "tcpserver/socket.h"
#include "tcpserver/tcp_console.h"
#include "tcpserver/tcp_listener.h"
#include "textbox/text_box.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <limits>
#include <map>

namespace {
int pixels(int twips)
{
    return qRound(static_cast<double>(twips) / kTwipsPerPixel);
}

// A caption wider than its button ("Set TCP Client") is set in a smaller size rather than cut off.
void fitCaption(QPushButton &button, int width)
{
    constexpr int kPadding = 8;
    QFont font = button.font();
    while (QFontMetrics(font).horizontalAdvance(button.text()) > width - kPadding && font.pointSizeF() > 6)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    if (font != button.font())
        button.setFont(font);
}

QWidget *createControl(const ControlEntry &entry, QWidget *container)
{
    const QString caption = QString::fromUtf8(entry.caption);
    switch (entry.kind) {
    case ControlKind::Frame:
        return new QGroupBox(caption, container);
    case ControlKind::Label: {
        auto *label = new QLabel(caption, container);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    case ControlKind::ComboBox: {
        // Typed entries are allowed: a port path the probe cannot know, a baud rate such as 74880.
        auto *combo = new QComboBox(container);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        return combo;
    }
    case ControlKind::Button: {
        auto *button = new QPushButton(caption, container);
        button->setAutoDefault(false); // Enter and Escape trigger no button
        fitCaption(*button, pixels(entry.width));
        return button;
    }
    case ControlKind::LineEdit: {
        auto *edit = new QLineEdit(caption, container);
        edit->setMaxLength(std::numeric_limits<int>::max());
        return edit;
    }
    case ControlKind::TextBox: {
        auto *box = new TextBox(container);
        box->setText(caption);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setTabChangesFocus(true);
        return box;
    }
    case ControlKind::Line: {
        auto *line = new QFrame(container);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        return line;
    }
    }
    return nullptr;
}
} // namespace

MainForm::MainForm(const Services &services, QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("TavrinESP8266辅助工具"));
    setFixedSize(pixels(kClientWidthTwips), pixels(kClientHeightTwips));
    // The captions were laid out for a 9-point CJK font.
    setFont(QFont({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"),
                   QStringLiteral("Microsoft YaHei"), QStringLiteral("Sans Serif")},
                  9));
    buildControls();
    createSubsystems(services);
    formLoad(services.skin);
}

MainForm::~MainForm() = default;

template <typename Control> Control *MainForm::control(const char *name) const
{
    auto *found = findChild<Control *>(QString::fromUtf8(name));
    Q_ASSERT(found);
    return found;
}

void MainForm::buildControls()
{
    QHash<QString, QWidget *> byName;
    std::map<int, QWidget *> keyboardOrder;
    for (const ControlEntry &entry : kControlLayout) {
        QWidget *container = entry.container ? byName.value(QString::fromUtf8(entry.container)) : this;
        QWidget *widget = createControl(entry, container);
        widget->setObjectName(QString::fromUtf8(entry.name));
        if (entry.kind == ControlKind::Line)
            widget->setGeometry(pixels(entry.left), pixels(entry.top) - 1, pixels(entry.width), 2);
        else
            widget->setGeometry(pixels(entry.left), pixels(entry.top), pixels(entry.width),
                                pixels(entry.height));
        widget->setEnabled(entry.enabled);
        if (entry.toolTip)
            widget->setToolTip(QString::fromUtf8(entry.toolTip));
        if (widget->focusPolicy() != Qt::NoFocus)
            keyboardOrder.emplace(entry.tabIndex, widget);
        byName.insert(widget->objectName(), widget);
    }

    QWidget *previous = nullptr;
    for (const auto &[tabIndex, widget] : keyboardOrder) {
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
    if (!keyboardOrder.empty())
        keyboardOrder.begin()->second->setFocus();

    auto *combo2 = control<QComboBox>("Combo2");
    combo2->addItems(baudRates());
    combo2->setCurrentIndex(-1);

    // A screen reader speaks each field with the label that points at it ("labelled-by" over AT-SPI,
    // where a list's own name is its text), and tells the two receive boxes apart by their frames.
    const std::pair<const char *, const char *> fieldLabels[] = {
        {"串口号", "Combo1"}, {"Label1", "Combo2"}, {"Label2", "Text1"}, {"Label3", "Text2"}};
    for (const auto &[labelName, fieldName] : fieldLabels)
        control<QLabel>(labelName)->setBuddy(control<QWidget>(fieldName));
    const std::pair<const char *, const char *> boxLabels[] = {
        {"Label4", "Text3"}, {"Label5", "Text4"}, {"Label6", "Text5"}, {"Label7", "Text6"}};
    for (const auto &[labelName, boxName] : boxLabels) {
        auto *label = control<QLabel>(labelName);
        auto *box = control<TextBox>(boxName);
        label->setBuddy(box);
        box->setAccessibleName(label->text());
        box->setAccessibleDescription(qobject_cast<QGroupBox *>(box->parentWidget())->title());
    }

    // The receive boxes grow without limit; an undo history of every arrival would double the memory.
    control<TextBox>("Text3")->setUndoRedoEnabled(false);
    control<TextBox>("Text5")->setUndoRedoEnabled(false);
}

void MainForm::createSubsystems(const Services &services)
{
    m_mSComm1 = new SerialPort(services.portMap, services.deviceFacts, this);
    m_mSComm1->setObjectName(QStringLiteral("MSComm1"));
    m_winsock1 = new Socket(services.localInterfaces, this);
    m_winsock1->setObjectName(QStringLiteral("Winsock1"));

    auto *command1 = control<QPushButton>("Command1");
    auto *command2 = control<QPushButton>("Command2");
    auto *command3 = control<QPushButton>("Command3");
    auto *command4 = control<QPushButton>("Command4");
    auto *command6 = control<QPushButton>("Command6");

    m_portControl = new PortControl(
        {command1, command2, command4, control<QComboBox>("Combo1"), control<QComboBox>("Combo2")},
        *m_mSComm1, services.messageBox, this);
    connect(command1, &QPushButton::clicked, m_portControl, &PortControl::command1Click);
    connect(command2, &QPushButton::clicked, m_portControl, &PortControl::command2Click);
    connect(m_mSComm1, &SerialPort::deviceLost, m_portControl, &PortControl::mSComm1DeviceLost);

    m_serialConsole = new SerialConsole({control<TextBox>("Text3"), control<TextBox>("Text4")}, *m_mSComm1,
                                        services.messageBox, services.receiveCeiling, this);
    connect(command4, &QPushButton::clicked, m_serialConsole, &SerialConsole::command4Click);
    connect(control<QPushButton>("Command5"), &QPushButton::clicked, m_serialConsole,
            &SerialConsole::command5Click);
    connect(m_mSComm1, &SerialPort::onComm, m_serialConsole, &SerialConsole::mSComm1OnComm);
    connect(m_mSComm1, &SerialPort::opened, m_serialConsole, &SerialConsole::portOpened);

    m_atPanel = new AtPanel(*m_serialConsole, services.inputBox, services.pause, this);
    const std::pair<const char *, void (AtPanel::*)()> atButtons[] = {
        {"Command8", &AtPanel::command8Click},   {"Command9", &AtPanel::command9Click},
        {"Command10", &AtPanel::command10Click}, {"Command11", &AtPanel::command11Click},
        {"Command12", &AtPanel::command12Click}, {"Command13", &AtPanel::command13Click},
        {"Command14", &AtPanel::command14Click}, {"Command15", &AtPanel::command15Click},
        {"Command16", &AtPanel::command16Click}, {"Command17", &AtPanel::command17Click},
        {"Command18", &AtPanel::command18Click}, {"Command19", &AtPanel::command19Click},
        {"Command20", &AtPanel::command20Click}, {"Command21", &AtPanel::command21Click},
    };
    for (const auto &[name, slot] : atButtons)
        connect(control<QPushButton>(name), &QPushButton::clicked, m_atPanel, slot);

    m_tcpListener = new TcpListener({command3, command6, control<QLineEdit>("Text2")}, *m_winsock1,
                                    services.messageBox, this);
    connect(command3, &QPushButton::clicked, m_tcpListener, &TcpListener::command3Click);

    m_tcpConsole = new TcpConsole({control<TextBox>("Text5"), control<TextBox>("Text6")}, *m_winsock1,
                                  services.messageBox, services.clock, services.receiveCeiling, this);
    connect(command6, &QPushButton::clicked, m_tcpConsole, &TcpConsole::command6Click);
    connect(control<QPushButton>("Command7"), &QPushButton::clicked, m_tcpConsole,
            &TcpConsole::command7Click);
    connect(m_winsock1, &Socket::connectionRequest, m_tcpConsole, &TcpConsole::winsock1ConnectionRequest);
    connect(m_winsock1, &Socket::dataArrival, m_tcpConsole, &TcpConsole::winsock1DataArrival);
    // The disconnection is logged before the listener starts listening again.
    connect(m_winsock1, &Socket::peerClosed, m_tcpConsole, &TcpConsole::winsock1PeerClosed);
    connect(m_winsock1, &Socket::peerClosed, m_tcpListener, &TcpListener::winsock1PeerClosed);

    // A copy or a paste too large for the memory left is told, and the program goes on.
    MessageBox &messageBox = services.messageBox;
    const auto tell = [&messageBox](const QString &text) {
        return [&messageBox, text] { messageBox.show(text, MessageBox::Icon::Warning); };
    };
    for (TextBox *box : findChildren<TextBox *>()) {
        connect(box, &TextBox::copyFailed, this, tell(QStringLiteral("内存不足，无法复制所选内容。")));
        connect(box, &TextBox::pasteFailed, this, tell(QStringLiteral("内存不足，无法粘贴。")));
    }
}

void MainForm::formLoad(Skin &skin)
{
    skin.attach();
    auto *text1 = control<QLineEdit>("Text1");
    text1->setText(m_winsock1->localIP());
    text1->setToolTip(m_winsock1->localAddresses());
    m_portControl->command2Click();
    auto *combo2 = control<QComboBox>("Combo2");
    combo2->setCurrentIndex(combo2->findText(QStringLiteral("115200")));
}
