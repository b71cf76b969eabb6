#pragma once

#include "tcpserver/tcp_server.h"

#include <QObject>

class MessageBox;
class QLineEdit;
class QPushButton;

// Starting and stopping the PC's TCP server. The toggle's caption follows the server's state:
// "开启监听" idle, "关闭监听" listening or connected, "开启服务" after a failed start (the next click
// stops the server).
class TcpListener : public QObject
{
    Q_OBJECT

public:
    struct Controls
    {
        QPushButton *listenButton;
        QLineEdit *portEdit;
    };

    TcpListener(const Controls &controls, TcpServer &server, MessageBox &messageBox,
                QObject *parent = nullptr);

public slots:
    void toggleListening();

private:
    void showState(TcpServer::State state);

    Controls m_controls;
    TcpServer &m_server;
    MessageBox &m_messageBox;
};
