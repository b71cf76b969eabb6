#pragma once

#include "measure.h"

#include "support/console_fixture.h"

#include <QTcpSocket>

#include <memory>
#include <optional>
#include <vector>

// What pours in. Lines: 80-byte lines (78 visible characters and CR LF), each starting with its own
// number so that a lost or reordered byte shows; any stretch of them can be made on its own. Endless:
// the same without a line break. Random: bytes from a fixed seed, as a module at the wrong baud rate
// sends, ending in LF so that the decoder holds nothing over into what comes next. Chinese: numbered
// lines of Chinese text in the link encoding, two bytes a character. Breaks: nothing but line breaks,
// CR LF and a lone LF by turns ("\r\n\n" over and over), the most lines a byte can make with both
// kinds. AtEchoes: what a module echoing "AT" says, over and over: "AT" CR CR LF, CR LF, "OK" CR LF.
enum class Shape { Lines, Endless, Random, Chinese, Breaks, AtEchoes };

// Bytes [offset, offset + size) of a flood; lines are whole lines, so a few bytes more. Breaks and
// AtEchoes are whole repeats from offset 0, so that they end on a complete line break.
QByteArray floodBytes(Shape shape, qint64 size, qint64 offset = 0);
// Makes any stretch of a flood of lines (from offset 0) as it is sent.
BlockMaker lineMaker();
// The text a box shows for bytes that arrive in one stream, and its length (worked out a piece at a
// time, so that nothing the size of the flood is made, and left resident, while memory is counted).
QString shownText(const QByteArray &bytes);
qint64 shownLength(const QByteArray &bytes);

// The real window over one link: a pseudo-terminal opened as its serial port the way a user opens a
// module (pick the COM number, click open), or its server listening on a free loopback port. The box
// is the one that link's data goes to: Text3 or Text5. A receive ceiling given replaces the window's.
class Session
{
public:
    explicit Session(Link link, std::optional<qint64> receiveCeiling = std::nullopt);

    ConsoleFixture fixture;
    TextBox *box() const { return m_box; }
    Pty &pty() { return *fixture.ptys.at(kComNumber); }
    // On TCP, the port the window's server listens on.
    quint16 port() const { return m_port; }
    // Empties the box with its own clear button.
    void clear();
    // Starts writing the bytes flat out: into the serial line, or over a connection of their own on TCP.
    std::unique_ptr<FloodWriter> send(const QByteArray &bytes, const BlockMaker &make = {});
    // Runs the window until `arrived` holds; not done when the box stopped growing for 10 s, or after
    // 30 s.
    Turns await(const std::function<bool()> &arrived) const;
    // send() and await() for a box that keeps everything: until all of it is in the box (on TCP, and
    // the disconnection after it).
    Turns ingest(const QByteArray &bytes, const BlockMaker &make = {});
    // The same, ending the process when the bytes did not all arrive.
    Turns fill(const QByteArray &bytes);
    // Whether a box cleared before the last ingest holds exactly what that ingest sent.
    bool holds(const QByteArray &bytes) const;
    // The bytes the box holds for what it was sent: the data, and on TCP the log entries around it.
    qint64 held(qint64 sent) const;
    // On TCP, the log entries the data took.
    qint64 arrivals() const;
    // On TCP, whether the log ends with the disconnection.
    bool disconnected() const;
    QString timestamp() const;

private:
    static constexpr int kComNumber = 3;

    const Link m_link;
    quint16 m_port = 0;
    TextBox *m_box = nullptr;
    std::unique_ptr<QTcpSocket> m_client;
};

// Follows the log of one TCP connection, a box's worth at a time (the box emptied between), against
// what the connection sent: the connection entry, the data in any number of entries (a timestamp line,
// the text, a line break), the disconnection entry.
//
// The log shows every line break as CR LF, whatever made it, and where the reads cut the data is not
// known. Each entry starts afresh after its timestamp line, and its closing CR LF follows the data in
// the same stream: a data entry shows exactly what its stretch of the data and one CR LF show, by the
// box's rules (CR LF, CR CR LF, a lone CR and a lone LF are one break each). So a read that ends on
// a CR shows that CR's break and no other at the end of its entry, and the LF that follows in the
// next read opens the next entry with a break of its own.
class LogCheck
{
public:
    LogCheck(QString timestamp, QString payload);
    void read(QStringView log);
    bool whole() const;

private:
    enum class Next { Connection, Data, Nothing };

    // Adds to `ends` every place in the payload where a stretch starting at `from` can end for
    // `entry` (the entry's text after its timestamp line) to show it.
    void follow(qsizetype from, QStringView entry, std::vector<qsizetype> &ends) const;

    const QString m_mark;
    const QString m_payload;
    // Where the data logged so far can end in the payload. A read that ends inside a run of line
    // breaks can leave more than one: "\r\n" read as "\r" and "\n" logs as it does read whole.
    std::vector<qsizetype> m_ends{0};
    bool m_ok = true;
    Next m_next = Next::Connection;
};
