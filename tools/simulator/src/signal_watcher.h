#pragma once

#include "platform/unique_fd.h"

#include <QObject>

#include <csignal>
#include <memory>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal through a self-pipe, so shutdown runs in the event loop and
// every destructor (pty, symlink) gets its turn. Only one instance may exist at a time.
class SignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

    bool install(QString *errorMessage);

signals:
    void terminationRequested(int signalNumber);

private:
    void onReadable();

    UniqueFd m_readEnd;
    UniqueFd m_writeEnd;
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_previousInt = {};
    struct sigaction m_previousTerm = {};
    bool m_installed = false;
};
