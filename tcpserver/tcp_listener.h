#pragma once

#include <QObject>

class MessageBox;
class QLineEdit;
class QPushButton;
class Socket;

// Starting and stopping the PC's TCP server. The state is the toggle's caption: "开启监听" idle,
// "关闭监听" listening or connected, "开启服务" after a failed start (the next click resets it).
class TcpListener : public QObject
{
    Q_OBJECT

public:
    struct Controls
    {
        QPushButton *command3; // listen toggle
        QPushButton *command6; // send TCP box
        QLineEdit *text2;      // listening port
    };

    TcpListener(const Controls &controls, Socket &winsock, MessageBox &messageBox, QObject *parent = nullptr);

public slots:
    void command3Click();
    // The client went away: listen again on the same port, so a module that reconnects is accepted
    // without a click.
    void winsock1PeerClosed();

private:
    void startFailed();

    Controls m_controls;
    Socket &m_winsock;
    MessageBox &m_messageBox;
};
