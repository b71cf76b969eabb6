#pragma once

#include <QByteArray>
#include <QObject>

// Splits the byte stream from the console into command lines, produces the module's echo, and after
// expectData() hands the next raw bytes over as one block (the payload of AT+CIPSEND).
class LineFramer : public QObject
{
    Q_OBJECT

public:
    explicit LineFramer(bool echo, QObject *parent = nullptr);

    void feed(const QByteArray &bytes);
    void setEcho(bool on) { m_echo = on; }
    void expectData(int count);

signals:
    void echoProduced(const QByteArray &bytes);
    void lineReceived(const QByteArray &line);
    void dataReceived(const QByteArray &data);

private:
    void takeData(const QByteArray &bytes, qsizetype &index, QByteArray &echo);
    void flushEcho(QByteArray &echo);

    bool m_echo;
    bool m_swallowLf = false;
    int m_dataRemaining = 0;
    QByteArray m_line;
    QByteArray m_data;
};
