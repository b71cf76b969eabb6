#pragma once

#include "platform/unique_fd.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <thread>

// Reads a serial device on a thread of its own. A flood then costs the window one batch per turn of
// its event loop instead of one small read per turn: the device hands over at most a few KiB per
// read, and those reads go on while the window is busy with the previous batch.
class SerialReader : public QObject
{
    Q_OBJECT

public:
    explicit SerialReader(QObject *parent = nullptr);
    ~SerialReader() override;

    // Opens the device for reading; on failure returns false and leaves errno as open() set it.
    bool open(const QString &path);
    // Starts reading; call once the device is set up. False when the system has no thread to spare.
    [[nodiscard]] bool start();
    // Stops reading and closes the device; bytes read and not taken are dropped.
    void close();

    // How many bytes are waiting. The next bytes read after this call are announced again, so a
    // caller waiting for more than this hears when more is there.
    qsizetype waiting();
    // Puts everything read since the last take() into `bytes`, in place of what it held.
    void take(QByteArray &bytes);

signals:
    // Bytes are waiting that have not been announced yet.
    void arrived();
    // The device hung up or failed (adapter unplugged); arrived() for its last bytes comes first.
    void lost();

private:
    void run();
    void deliver(const char *data, qsizetype size);

    UniqueFd m_fd;
    UniqueFd m_wake; // written by close() to end the thread's wait
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_taken;
    QByteArray m_bytes;
    bool m_announced = false;
    bool m_stopping = false;
};
