#include "platform/link_codec.h"

namespace {
constexpr auto kCodePage = "GBK";
}

LinkEncoder::LinkEncoder() : m_encoder(kCodePage)
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
