#include "app/main_form.h"

#include "app/control_layout.h"
#include "atpanel/at_panel.h"
#include "platform/link_codec.h"
#include "platform/message_box.h"
#include "platform/skin.h"
#include "serial/port_control.h"
#include "serial/serial_console.h"
#include "serial/serial_link.h"
#include "tcpserver/tcp_console.h"
#include "tcpserver/tcp_listener.h"
#include "tcpserver/tcp_server.h"
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
    startUp(services);
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
    // They take whatever the link decodes to, a module at the wrong baud rate bringing all of it.
    const QString linkCharacters = LinkDecoder::repertoire();
    for (const char *received : {"Text3", "Text5"}) {
        control<TextBox>(received)->setUndoRedoEnabled(false);
        control<TextBox>(received)->measureAhead(linkCharacters);
    }
}

void MainForm::createSubsystems(const Services &services)
{
    m_serialLink = new SerialLink(services.portMap, services.deviceFacts, this);
    m_serialLink->setObjectName(QStringLiteral("serialLink"));
    m_tcpServer = new TcpServer(this);
    m_tcpServer->setObjectName(QStringLiteral("tcpServer"));

    auto *openButton = control<QPushButton>("Command1");
    auto *refreshButton = control<QPushButton>("Command2");
    m_portControl = new PortControl(
        {openButton, refreshButton, control<QComboBox>("Combo1"), control<QComboBox>("Combo2")},
        *m_serialLink, PortProbe(services.portMap, services.deviceFacts), services.messageBox, this);
    connect(openButton, &QPushButton::clicked, m_portControl, &PortControl::togglePort);
    connect(refreshButton, &QPushButton::clicked, m_portControl, &PortControl::refreshPorts);

    auto *serialSendButton = control<QPushButton>("Command4");
    m_serialConsole =
        new SerialConsole({control<TextBox>("Text3"), control<TextBox>("Text4"), serialSendButton},
                          *m_serialLink, services.messageBox, services.receiveCeiling, this);
    connect(serialSendButton, &QPushButton::clicked, m_serialConsole, &SerialConsole::sendSerialText);
    connect(control<QPushButton>("Command5"), &QPushButton::clicked, m_serialConsole,
            &SerialConsole::clearSerial);

    m_atPanel = new AtPanel(*m_serialConsole, services.inputBox, services.pause, this);
    for (const AtPanel::FixedCommand &fixed : AtPanel::kFixedCommands) {
        const QString command = QString::fromLatin1(fixed.command);
        connect(control<QPushButton>(fixed.button), &QPushButton::clicked, m_atPanel,
                [atPanel = m_atPanel, command] { atPanel->sendCommand(command); });
    }
    const std::pair<const char *, void (AtPanel::*)()> promptedButtons[] = {
        {"Command11", &AtPanel::setWifiMode},
        {"Command13", &AtPanel::joinAccessPoint},
        {"Command16", &AtPanel::openTcpConnection},
        {"Command17", &AtPanel::sendTcpData},
    };
    for (const auto &[name, slot] : promptedButtons)
        connect(control<QPushButton>(name), &QPushButton::clicked, m_atPanel, slot);

    auto *listenButton = control<QPushButton>("Command3");
    m_tcpListener =
        new TcpListener({listenButton, control<QLineEdit>("Text2")}, *m_tcpServer, services.messageBox, this);
    connect(listenButton, &QPushButton::clicked, m_tcpListener, &TcpListener::toggleListening);

    auto *tcpSendButton = control<QPushButton>("Command6");
    m_tcpConsole =
        new TcpConsole({control<TextBox>("Text5"), control<TextBox>("Text6"), tcpSendButton}, *m_tcpServer,
                       services.messageBox, services.clock, services.receiveCeiling, this);
    connect(tcpSendButton, &QPushButton::clicked, m_tcpConsole, &TcpConsole::sendTcpText);
    connect(control<QPushButton>("Command7"), &QPushButton::clicked, m_tcpConsole, &TcpConsole::clearTcp);

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

void MainForm::startUp(const Services &services)
{
    services.skin.attach();
    auto *localAddress = control<QLineEdit>("Text1");
    const LocalInterfaces interfaces = services.localInterfaces();
    localAddress->setText(reachableAddress(interfaces));
    localAddress->setToolTip(addressListing(interfaces));
    m_portControl->refreshPorts();
    auto *baudList = control<QComboBox>("Combo2");
    baudList->setCurrentIndex(baudList->findText(QStringLiteral("115200")));
}
