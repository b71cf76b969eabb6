#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

// Text crosses the serial line and the TCP connection in code page 936 (GBK): one byte per ASCII
// character, two per Chinese character. Qt reaches that code page through ICU.

class LinkEncoder
{
public:
    LinkEncoder();
    QByteArray encode(QStringView text);

private:
    QStringEncoder m_encoder;
};

// Stateful: the first byte of a two-byte character that ends one read is kept and joined to the
// next read, so a character split across reads is shown whole. Bytes that do not decode show as
// U+FFFD. Use one decoder per connection.
class LinkDecoder
{
public:
    LinkDecoder();
    QString decode(QByteArrayView bytes);

private:
    QStringDecoder m_decoder;
    // No first half of a character is held from the read before: the last byte read was ASCII.
    bool m_clean = true;
};
