#include "platform/link_codec.h"

namespace {
constexpr auto kCodePage = "GBK";
}

// Each call encodes a complete text. A kept state would hold back a lone high surrogate at the end of
// one text and turn it into a '?' in front of the next one: a corrupted command.
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
    return m_decoder.decode(bytes);
}
