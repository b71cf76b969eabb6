#include "platform/link_codec.h"

namespace {
constexpr auto kCodePage = "GBK";
}

// Each call encodes a complete text. A kept state would hold back a lone high surrogate at the end of
// one text and turn it into a '?' in front of the next one: a corrupted command.
LinkEncoder::LinkEncoder() : m_encoder(kCodePage, QStringConverter::Flag::Stateless)
{
    Q_ASSERT(m_encoder.isValid());
}

QByteArray LinkEncoder::encode(QStringView text)
{
    return m_encoder.encode(text);
}

LinkDecoder::LinkDecoder() : m_decoder(kCodePage)
{
    Q_ASSERT(m_decoder.isValid());
}

QString LinkDecoder::decode(QByteArrayView bytes)
{
    return m_decoder.decode(bytes);
}
