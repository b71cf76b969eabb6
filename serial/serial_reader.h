#pragma once

#include "platform/unique_fd.h"
#include "serial/byte_ring.h"

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// Reads a serial device on a thread of its own, so that the line is read while the window is busy
// (a pause, a long paint): a USB adapter has no flow control, and what nobody reads is lost. The
// thread holds up to kMaxWaiting bytes the window has not taken; only when that is full does it stop
// reading. The window takes them a batch at a time, so that a flood never holds it for long.
//
// The thread and the window meet only at the mutex and two eventfds: one tells the window that bytes
// are waiting (watched by a notifier on the window's thread), the other tells the thread to stop.
class SerialReader : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype kMaxWaiting = 16 * 1024 * 1024;
    static constexpr qsizetype kBatch = 64 * 1024;

    explicit SerialReader(QObject *parent = nullptr);
    ~SerialReader() override;

    // Opens the device for reading; on failure returns false and leaves errno as open() set it.
    bool open(const QString &path);
    // Starts reading; call once the device is set up. False when the system has no thread or
    // descriptor to spare.
    [[nodiscard]] bool start();
    // Stops reading and closes the device; bytes read and not taken are dropped.
    void close();
    // Stops reading because the device failed (a write to it did): the bytes read so far are still
    // handed over, then lost() follows.
    void hangUp();

    // Puts the oldest waiting bytes, at most kBatch, into `bytes`, in place of what it held. When
    // more are left, arrived() follows on a later turn of the event loop.
    void take(QByteArray &bytes);

signals:
    // Bytes are waiting: take() a batch of them.
    void arrived();
    // The device hung up or failed (adapter unplugged); it comes once the window has taken every byte
    // read before. The window must take bytes when told they arrived.
    void lost();

private:
    void run();
    void stopThread();
    // Adds bytes read to the backlog, waiting while there is no memory for it.
    void keep(const char *bytes, qsizetype count);
    void announceLocked();
    void readyToRead();

    UniqueFd m_fd;
    UniqueFd m_wake;                                  // written by close() to end the thread's wait
    UniqueFd m_ready;                                 // written when there is news for the window
    std::unique_ptr<QSocketNotifier> m_readyNotifier; // on the window's thread; goes before m_ready
    std::thread m_thread;

    std::mutex m_mutex; // guards everything below
    std::condition_variable m_taken;
    ByteRing m_ring{kMaxWaiting};
    bool m_announced = false;
    bool m_lost = false;
    bool m_stopping = false;
};
