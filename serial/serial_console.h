#pragma once

#include <QObject>

#include <optional>

class MessageBox;
class QPushButton;
class SerialLink;
class TextBox;

// The text path to the module: the send box and its button, the receive box, and clearing both.
// sendToModule() is the one way every composed AT command reaches the line.
class SerialConsole : public QObject
{
    Q_OBJECT

public:
    struct Controls
    {
        TextBox *receiveBox;
        TextBox *sendBox;
        QPushButton *sendButton; // usable while the link is open
    };

    // The receive box holds at most `ceiling` bytes of text; past it the oldest text goes.
    SerialConsole(const Controls &controls, SerialLink &link, MessageBox &messageBox, qint64 ceiling,
                  QObject *parent = nullptr);

    // Puts the text into the send box and sends it, even while the send button is disabled, so that
    // a closed port is reported the same way.
    void sendToModule(const QString &text);
    // How many bytes the text takes on the line; none without the link's code page.
    std::optional<qsizetype> encodedLength(const QString &text) const;

public slots:
    void sendSerialText();
    void clearSerial();

private:
    void showReceived(const QString &text);
    void linkOpenChanged(bool open);
    void keepUnderCeiling();

    Controls m_controls;
    SerialLink &m_link;
    MessageBox &m_messageBox;
    const qint64 m_ceiling;
    bool m_ceilingNoticed = false; // said once a session: the log keeps going, the user knows why
};
