#include "platform/link_codec.h"

namespace {
constexpr auto kCodePage = "GBK";
}

bool linkCodecAvailable()
{
    return QStringEncoder(kCodePage).isValid() && QStringDecoder(kCodePage).isValid();
}

LinkEncoder::LinkEncoder() : m_encoder(kCodePage, QStringConverter::Flag::Stateless) {}

QByteArray LinkEncoder::encode(QStringView text)
{
    return m_encoder.encode(text);
}

LinkDecoder::LinkDecoder() : m_decoder(kCodePage) {}

QString LinkDecoder::decode(QByteArrayView bytes)
{
    // Bytes below 0x80 are ASCII in this code page and never the first half of a character, so a read
    // of only those, with nothing held from the read before, needs no converter: a flood of log lines
    // decodes many times faster. A byte below 0x80 can end a two-byte character but never start one.
    unsigned char high = 0;
    for (const char byte : bytes)
        high |= static_cast<unsigned char>(byte);
    if (m_clean && high < 0x80) {
        // Into the same buffer each time (the caller's copy is gone by the next read): a new one per
        // read of a flood would be fresh pages from the system every time.
        m_text.resize(0);
        m_text.append(QLatin1StringView(bytes));
        return m_text;
    }
    if (!bytes.isEmpty())
        m_clean = static_cast<unsigned char>(bytes.back()) < 0x80;
    return m_decoder.decode(bytes);
}

void LinkDecoder::reset()
{
    m_decoder.resetState();
    m_clean = true;
}

std::optional<qsizetype> LinkCodec::encodedLength(QStringView text)
{
    if (!canEncode())
        return std::nullopt;
    return m_encoder.encode(text).size();
}
