#include "platform/link_codec.h"

#include <QStringList>

#include <algorithm>

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

namespace {
constexpr unsigned kFirstLead = 0x81;
constexpr unsigned kLastLead = 0xFE;
constexpr unsigned kFirstTrail = 0x40;
constexpr unsigned kTrails = 0xFE - kFirstTrail + 1;
// The table holds every pair, then the two bytes that are characters on their own.
constexpr size_t kPairs = (kLastLead - kFirstLead + 1) * kTrails;
constexpr size_t kByteFF = kPairs;
constexpr size_t kByte80 = kPairs + 1;

qsizetype pairIndex(unsigned lead, unsigned trail)
{
    return qsizetype((lead - kFirstLead) * kTrails + (trail - kFirstTrail));
}

bool isTrail(unsigned byte)
{
    return byte >= kFirstTrail && byte != 0x7F && byte < kFirstTrail + kTrails;
}

// Every pair, each followed by a space so that a pair the converter takes apart cannot run into the
// next one, decoded once by the converter.
std::vector<char16_t> decodedPairs()
{
    QByteArray pairs;
    for (unsigned lead = kFirstLead; lead <= kLastLead; ++lead) {
        for (unsigned trail = kFirstTrail; trail < kFirstTrail + kTrails; ++trail) {
            pairs.append(char(lead));
            pairs.append(char(trail));
            pairs.append(' ');
        }
    }
    // Then the two bytes that are characters on their own: 0xFF, then 0x80.
    pairs.append("\xFF \x80 ");
    std::vector<char16_t> table(kPairs + 2, u'\uFFFD');
    QStringDecoder decoder(kCodePage);
    if (!decoder.isValid())
        return table;
    const QStringList decoded = QString(decoder.decode(pairs)).split(u' ');
    if (decoded.size() != qsizetype(table.size()) + 1)
        return table;
    for (size_t i = 0; i < table.size(); ++i) {
        if (decoded.at(qsizetype(i)).size() == 1)
            table[i] = decoded.at(qsizetype(i)).at(0).unicode();
    }
    return table;
}
// The code page never changes while the program runs: its table is made once, on first use.
const std::vector<char16_t> &pairTable()
{
    static const std::vector<char16_t> table = decodedPairs();
    return table;
}
} // namespace

LinkDecoder::LinkDecoder() : m_decoder(kCodePage), m_pairs(pairTable()) {}

QString LinkDecoder::repertoire()
{
    std::vector<char16_t> characters = pairTable();
    std::sort(characters.begin(), characters.end());
    characters.erase(std::unique(characters.begin(), characters.end()), characters.end());
    return QString(reinterpret_cast<const QChar *>(characters.data()), qsizetype(characters.size()));
}

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
    if (!m_decoder.isValid())
        return m_decoder.decode(bytes);
    // Every byte gives at most one character; written straight into the buffer, which is cut to
    // what was written at the end.
    const qsizetype size = bytes.size();
    m_text.resize(size);
    qsizetype written = 0;
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    // A half character held from the read before is the converter's to finish.
    qsizetype at = m_clean ? 0 : decodeAwkward(bytes, 0, written);
    while (at < size) {
        char16_t *out = reinterpret_cast<char16_t *>(m_text.data()); // moves when the converter adds
        const unsigned byte = data[at];
        if (byte < 0x80) {
            out[written++] = char16_t(byte);
            ++at;
        } else if (byte == 0x80 || byte == 0xFF) {
            out[written++] = m_pairs[byte == 0x80 ? kByte80 : kByteFF];
            ++at;
        } else if (at + 1 == size) {
            // A lead byte that ends the read: the converter holds it for the next one.
            at = decodeAwkward(bytes, at, written);
        } else if (!isTrail(data[at + 1])) {
            // A lead byte without its second half shows as U+FFFD, and what follows it starts
            // afresh, as the converter does it.
            out[written++] = u'\uFFFD';
            ++at;
        } else if (const char16_t c = m_pairs[size_t(pairIndex(byte, data[at + 1]))]; c != u'\uFFFD') {
            out[written++] = c;
            at += 2;
        } else {
            at = decodeAwkward(bytes, at, written); // a pair the code page does not have
        }
    }
    m_text.resize(written);
    if (size > 0)
        m_clean = data[size - 1] < 0x80;
    return m_text;
}

qsizetype LinkDecoder::decodeAwkward(QByteArrayView bytes, qsizetype from, qsizetype &written)
{
    // A byte below 0x80 is never the first half of a character: once the converter has taken one,
    // it holds nothing back.
    qsizetype end = from;
    while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) >= 0x80)
        ++end;
    end = std::min(end + 1, bytes.size());
    const QString decoded = m_decoder.decode(bytes.sliced(from, end - from));
    if (written + decoded.size() > m_text.size())
        m_text.resize(written + decoded.size() + (bytes.size() - end));
    std::copy(decoded.begin(), decoded.end(), m_text.begin() + written);
    written += decoded.size();
    return end;
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
