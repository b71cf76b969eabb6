#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>
#include <vector>

// Text crosses the serial line and the TCP connection in code page 936 (GBK): one byte per ASCII
// character, two per Chinese character. Qt reaches that code page through ICU.

// Whether this Qt reaches the code page at all. Without it nothing can cross either link: the
// encoder gives no bytes, so a send must fail rather than put nothing on the wire.
bool linkCodecAvailable();
inline constexpr char kNoLinkCodecNotice[] = "系统缺少 GBK 编码，无法收发数据。";

// Each call encodes a complete text. A kept state would hold back a lone high surrogate at the end of
// one text and turn it into a '?' in front of the next one: a corrupted command.
class LinkEncoder
{
public:
    LinkEncoder();
    bool isValid() const { return m_encoder.isValid(); }
    QByteArray encode(QStringView text);

private:
    QStringEncoder m_encoder;
};

// Stateful: the first byte of a two-byte character that ends one read is kept and joined to the
// next read, so a character split across reads is shown whole. Bytes that do not decode show as
// U+FFFD. Use one decoder per connection, reset() when a new connection starts.
class LinkDecoder
{
public:
    LinkDecoder();
    QString decode(QByteArrayView bytes);
    // Every character other than ASCII that the link's bytes can decode to, each once, in code order.
    static QString repertoire();
    // Forgets any half character held from the last connection. Done in place: with Qt 6.4's ICU
    // converters, assigning a fresh decoder over the old one can leave the converter's callback
    // pointing at the discarded decoder.
    void reset();

private:
    // Decodes with the converter up to and including the next ASCII byte, after which it holds no
    // half character, into m_text after the `written` characters; returns where it stopped.
    qsizetype decodeAwkward(QByteArrayView bytes, qsizetype from, qsizetype &written);

    QStringDecoder m_decoder;
    // What each pair of a lead byte (0x81-0xFE) and a trail byte (0x40-0xFE) decodes to, as the
    // converter decodes it, or U+FFFD where the converter must decide (the pair is not in the code
    // page), and last the single bytes 0xFF and 0x80. Two-byte text is decoded from it, which is
    // several times faster than the converter.
    const std::vector<char16_t> &m_pairs;
    QString m_text; // the last read, decoded
    // No first half of a character is held from the read before: the last byte read was ASCII.
    bool m_clean = true;
};

// One link's text in both directions: the encoder, the decoder of its current connection and the
// buffer its bytes are read into, which is reused from one read to the next so that a flood does
// not take fresh memory for every read.
class LinkCodec
{
public:
    bool canEncode() const { return m_encoder.isValid(); }
    // The bytes of `text` on the wire; empty when the code page is missing.
    QByteArray encode(QStringView text) { return m_encoder.encode(text); }
    // How many bytes `text` takes on the wire; none when the code page is missing.
    std::optional<qsizetype> encodedLength(QStringView text);

    // The receive buffer: the link reads into it, then decodeReceived() turns it into text.
    QByteArray &receiveBuffer() { return m_received; }
    QString decodeReceived() { return m_decoder.decode(m_received); }
    // A new connection: no half character of the last one is joined to its first byte.
    void restart() { m_decoder.reset(); }

private:
    LinkEncoder m_encoder;
    LinkDecoder m_decoder;
    QByteArray m_received;
};
