#include "flood.h"

#include "platform/link_codec.h"
#include "platform/units.h"
#include "textbox/line_breaks.h"
#include "textbox/text_box.h"

#include <QStringList>
#include <QTcpSocket>

#include <algorithm>
#include <random>

namespace {
constexpr qint64 kLineBytes = 80;
constexpr int kNumberDigits = 8;
// A flood whose box stops growing for this long has lost bytes (or the window hangs); one that takes
// longer than the time limit is far below every target, and its case reports what it measured so far.
constexpr qint64 kStallNs = 10'000'000'000;
constexpr auto kFloodTimeout = std::chrono::seconds(30);

void fillLines(char *out, qint64 offset, qint64 size, bool breaks)
{
    char line[kLineBytes];
    for (qint64 done = 0; done < size;) {
        const qint64 number = (offset + done) / kLineBytes;
        qint64 digits = number;
        for (int i = kNumberDigits - 1; i >= 0; --i, digits /= 10)
            line[i] = char('0' + digits % 10);
        line[kNumberDigits] = ' ';
        for (qint64 i = kNumberDigits + 1; i < kLineBytes; ++i)
            line[i] = char('a' + (number + i) % 26);
        if (breaks) {
            line[kLineBytes - 2] = '\r';
            line[kLineBytes - 1] = '\n';
        }
        const qint64 from = (offset + done) % kLineBytes;
        const qint64 count = std::min(kLineBytes - from, size - done);
        std::copy_n(line + from, count, out + done);
        done += count;
    }
}

QByteArray lines(qint64 offset, qint64 size, bool breaks)
{
    QByteArray out(size, Qt::Uninitialized);
    fillLines(out.data(), offset, size, breaks);
    return out;
}

QByteArray randomBytes(qint64 size)
{
    std::mt19937_64 engine(8266);
    QByteArray out(size, Qt::Uninitialized);
    for (qint64 at = 0; at < size; ++at)
        out[at] = char(engine());
    out[size - 1] = '\n';
    return out;
}

QByteArray chineseLines(qint64 size)
{
    const QByteArray words =
        LinkEncoder().encode(QStringLiteral("模块返回数据：无线网络已连接，正在获取地址，信号强度良好。"));
    QByteArray out;
    out.reserve(size + 256);
    for (int line = 0; out.size() < size; ++line)
        out += QByteArray::number(line).rightJustified(kNumberDigits, '0') + ' ' + words + "\r\n";
    return out;
}

// `unit` as many times as it takes to reach `size` bytes.
QByteArray repeats(QByteArrayView unit, qint64 size)
{
    return unit.toByteArray().repeated((size + unit.size() - 1) / unit.size());
}

bool isBreak(QChar c)
{
    return c == u'\r' || c == u'\n' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// The length of the line break at `at`, or 0 where there is none: CR LF and CR CR LF are one break
// each, and so are a CR followed by anything else, a lone LF and the two separators.
qsizetype breakLength(QStringView text, qsizetype at)
{
    if (text[at] != u'\r')
        return isBreak(text[at]) ? 1 : 0;
    if (at + 1 < text.size() && text[at + 1] == u'\n')
        return 2;
    if (at + 2 < text.size() && text[at + 1] == u'\r' && text[at + 2] == u'\n')
        return 3;
    return 1;
}

// How many line breaks a run of nothing but line breaks shows.
qsizetype breakCount(QStringView run)
{
    qsizetype count = 0;
    for (qsizetype at = 0; at < run.size(); at += breakLength(run, at))
        ++count;
    return count;
}

bool endsWithDisconnection(const TextBox *box)
{
    const qsizetype lines = box->lineCount();
    return lines > 1 && box->lineLength(lines - 1) == 0 &&
           box->textRange(box->lineStart(lines - 2), box->lineLength(lines - 2)) ==
               QStringLiteral("客户端断开");
}
} // namespace

QByteArray floodBytes(Shape shape, qint64 size, qint64 offset)
{
    switch (shape) {
    case Shape::Lines:
        return lines(offset, (size + kLineBytes - 1) / kLineBytes * kLineBytes, true);
    case Shape::Endless:
        return lines(offset, size, false);
    case Shape::Random:
        return randomBytes(size);
    case Shape::Chinese:
        return chineseLines(size);
    case Shape::Breaks:
        return repeats("\r\n\n", size);
    case Shape::AtEchoes:
        return repeats("AT\r\r\n\r\nOK\r\n", size);
    }
    return QByteArray();
}

BlockMaker lineMaker()
{
    return [](char *out, qint64 offset, qint64 count) { fillLines(out, offset, count, true); };
}

QString shownText(const QByteArray &bytes)
{
    return LineBreaks().normalize(LinkDecoder().decode(bytes));
}

qint64 shownLength(const QByteArray &bytes)
{
    constexpr qint64 kPiece = 64 * 1024;
    LinkDecoder decoder;
    LineBreaks breaks;
    qint64 length = 0;
    for (qint64 at = 0; at < bytes.size(); at += kPiece)
        length += breaks
                      .normalize(decoder.decode(
                          QByteArrayView(bytes).sliced(at, std::min(kPiece, bytes.size() - at))))
                      .size();
    return length;
}

Session::Session(Link link, std::optional<qint64> receiveCeiling) : m_link(link)
{
    fixture.receiveCeiling = receiveCeiling;
    if (link == Link::Serial) {
        fixture.addPort(kComNumber);
        fixture.start();
        fixture.openPort(kComNumber);
    } else {
        fixture.start();
        m_port = fixture.startServer();
    }
    m_box = fixture.textBox(link == Link::Serial ? "Text3" : "Text5");
    // The figures are for the window at work, after what it does once when it shows.
    fixture.awaitStartUpWork();
}

void Session::clear()
{
    fixture.click(m_link == Link::Serial ? "Command5" : "Command7");
}

std::unique_ptr<FloodWriter> Session::send(const QByteArray &bytes, const BlockMaker &make)
{
    if (m_link == Link::Serial)
        return std::make_unique<FloodWriter>(pty().master(), bytes, m_link, make);
    m_client = connectClient(m_port);
    return std::make_unique<FloodWriter>(int(m_client->socketDescriptor()), bytes, m_link, make);
}

Turns Session::await(const std::function<bool()> &arrived) const
{
    qint64 length = -1;
    qint64 grewNs = 0;
    return runUntil(
        [&] {
            if (m_box->length() != length) {
                length = m_box->length();
                grewNs = monotonicNs();
            }
            return arrived() || monotonicNs() - grewNs > kStallNs;
        },
        kFloodTimeout);
}

Turns Session::ingest(const QByteArray &bytes, const BlockMaker &make)
{
    const qint64 expected = m_box->length() + shownLength(bytes);
    const auto writer = send(bytes, make);
    const auto arrived = [&] {
        return m_link == Link::Serial ? m_box->length() == expected
                                      : m_box->length() >= expected && disconnected();
    };
    Turns turns = await(arrived);
    turns.done = arrived();
    return turns;
}

Turns Session::fill(const QByteArray &bytes)
{
    const Turns turns = ingest(bytes);
    if (!turns.done)
        qFatal("the flood stalled at %lld characters", static_cast<long long>(m_box->length()));
    return turns;
}

bool Session::holds(const QByteArray &bytes) const
{
    if (m_link == Link::Serial)
        return m_box->toPlainText() == shownText(bytes);
    LogCheck check(timestamp(), LinkDecoder().decode(bytes));
    check.read(m_box->text());
    return check.whole();
}

qint64 Session::held(qint64 sent) const
{
    // Every line break in the log stands for CR LF.
    return m_link == Link::Serial ? sent : m_box->length() + m_box->lineCount() - 1;
}

qint64 Session::arrivals() const
{
    return m_box->text().count(timestamp() + kCrLf) - 2;
}

bool Session::disconnected() const
{
    return endsWithDisconnection(m_box);
}

QString Session::timestamp() const
{
    return fixture.clock.time.toString(QStringLiteral("yy-MM-dd HH:mm:ss"));
}

LogCheck::LogCheck(QString timestamp, QString payload)
    : m_mark(timestamp + kCrLf), m_payload(std::move(payload))
{}

void LogCheck::read(QStringView log)
{
    // The payload holds no timestamp, so every occurrence of one starts an entry.
    const QList<QStringView> pieces = log.split(m_mark);
    m_ok = m_ok && pieces.first().isEmpty();
    for (qsizetype i = 1; m_ok && i < pieces.size(); ++i) {
        const QStringView entry = pieces.at(i);
        if (m_next == Next::Connection) {
            m_ok = entry == QStringLiteral("新客户端接入\r\n");
            m_next = Next::Data;
        } else if (m_next == Next::Data && entry == QStringLiteral("客户端断开\r\n")) {
            m_next = Next::Nothing;
        } else if (m_next == Next::Data) {
            std::vector<qsizetype> ends;
            for (const qsizetype from : m_ends)
                follow(from, entry, ends);
            std::sort(ends.begin(), ends.end());
            ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
            m_ends = std::move(ends);
            m_ok = !m_ends.empty();
        } else {
            m_ok = false;
        }
    }
}

void LogCheck::follow(qsizetype from, QStringView entry, std::vector<qsizetype> &ends) const
{
    const QStringView payload(m_payload);
    // The entry's last breaks, up to three, are where the read may have cut the data: what it left of
    // a run of breaks there showed together with the closing CR LF. A break is told by its first
    // character and the two after it, so every break before those is one the data shows whatever
    // the read left out after it.
    qsizetype tail = 0;
    while (tail < 3 && entry.chopped(2 * tail).endsWith(kCrLf))
        ++tail;
    const QStringView head = entry.chopped(2 * tail);
    qsizetype at = from;
    for (qsizetype i = 0; i < head.size();) {
        if (head[i] == u'\r') {
            const qsizetype length = at < payload.size() ? breakLength(payload, at) : 0;
            if (length == 0)
                return;
            at += length;
            i += 2;
        } else {
            qsizetype text = head.indexOf(u'\r', i);
            text = (text < 0 ? head.size() : text) - i;
            if (payload.size() - at < text || payload.sliced(at, text) != head.sliced(i, text))
                return;
            at += text;
            i += text;
        }
    }
    // A break takes at most three characters, so `tail` breaks came from at most 3 * tail of them.
    for (qsizetype cut = 0; cut <= 3 * tail && at + cut <= payload.size(); ++cut) {
        if (cut > 0 && !isBreak(payload[at + cut - 1]))
            break;
        if (breakCount(payload.sliced(at, cut).toString() + kCrLf) == tail)
            ends.push_back(at + cut);
    }
}

bool LogCheck::whole() const
{
    return m_ok && m_next == Next::Nothing &&
           std::find(m_ends.begin(), m_ends.end(), m_payload.size()) != m_ends.end();
}
