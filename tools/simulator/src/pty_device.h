#pragma once

#include "platform/unique_fd.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

class QSocketNotifier;

// The master side of a pseudo-terminal: the simulated module's UART. Whatever a console writes to the
// slave device arrives through dataReceived(); write() sends bytes back to it.
class PtyDevice : public QObject
{
    Q_OBJECT

public:
    explicit PtyDevice(QObject *parent = nullptr);
    ~PtyDevice() override;

    bool open(int baud, QString *errorMessage);
    QString slavePath() const { return m_slavePath; }

    // The rate the slave side is currently set to, as chosen by whoever opened it last; empty when the
    // rate is not one of the standard termios rates.
    std::optional<int> lineBaud() const;
    void write(const QByteArray &bytes);

    static bool isSupportedBaud(int baud);

signals:
    void dataReceived(const QByteArray &bytes);

private:
    void onReadable();
    void onWritable();
    void flushOutput();
    void pauseReading();
    void resumeReading();

    // Declared before the notifiers so the descriptors outlive them.
    UniqueFd m_master;
    UniqueFd m_slave;
    QString m_slavePath;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    QTimer m_retryTimer;
    QByteArray m_pending;
};
