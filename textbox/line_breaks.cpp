#include "textbox/line_breaks.h"

#include <QtAlgorithms>

#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {
bool isBreak(char16_t c)
{
    return c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// The first CR, line separator or paragraph separator in [from, end), or end. Eight characters a
// step where the processor allows: a flood is mostly the text between breaks.
const char16_t *nextBreak(const char16_t *from, const char16_t *end)
{
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi16(u'\r');
    const __m128i separatorBits = _mm_set1_epi16(short(0xfffe)); // U+2028 and U+2029 differ in bit 0
    const __m128i separator = _mm_set1_epi16(short(QChar::LineSeparator));
    for (; end - from >= 8; from += 8) {
        const __m128i chars = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
        const __m128i hits = _mm_or_si128(_mm_cmpeq_epi16(chars, cr),
                                          _mm_cmpeq_epi16(_mm_and_si128(chars, separatorBits), separator));
        if (const int mask = _mm_movemask_epi8(hits))
            return from + qCountTrailingZeroBits(uint(mask)) / 2;
    }
#endif
    while (from < end && !isBreak(*from))
        ++from;
    return from;
}
} // namespace

QString LineBreaks::normalize(QStringView piece)
{
    if (piece.isEmpty())
        return QString();
    // The same buffer each time, as long as the caller let go of the last result: a new one for every
    // piece of a flood would be fresh pages from the system every time. One more character than the
    // piece, for the break of a CR the last piece held.
    QString &result = m_result;
    result.resize(piece.size() + 1);
    char16_t *out = reinterpret_cast<char16_t *>(result.data());
    const char16_t *in = piece.utf16();
    const char16_t *const end = in + piece.size();

    // What the last piece left open. A held CR followed by an LF ends a CR CR LF, whose one break was
    // shown with its first CR; followed by anything else it was a lone CR.
    if (m_after == After::CrCr) {
        if (*in == u'\n') {
            ++in;
            m_after = After::Text;
        } else {
            *out++ = u'\n';
            m_after = After::Cr;
        }
    }
    if (m_after == After::Cr && in < end) {
        if (*in == u'\n') {
            ++in;
        } else if (*in == u'\r' && end - in == 1) {
            m_after = After::CrCr;
            in = end;
        } else if (*in == u'\r' && in[1] == u'\n') {
            in += 2;
        }
    }
    if (m_after != After::CrCr)
        m_after = After::Text;

    while (in < end) {
        const char16_t *const stop = nextBreak(in, end);
        std::memcpy(out, in, size_t(stop - in) * sizeof(char16_t));
        out += stop - in;
        if (stop == end)
            break;
        *out++ = u'\n';
        in = stop + 1;
        if (*stop != u'\r')
            continue;
        // The CR's break is shown; what follows may belong to it.
        if (in == end) {
            m_after = After::Cr;
        } else if (*in == u'\n') {
            ++in;
        } else if (*in == u'\r' && in + 1 == end) {
            m_after = After::CrCr;
            in = end;
        } else if (*in == u'\r' && in[1] == u'\n') {
            in += 2;
        }
    }
    result.truncate(out - reinterpret_cast<const char16_t *>(result.constData()));
    return result;
}

QString LineBreaks::whole(const QString &text)
{
    // Text broken by LF alone (what the clipboard holds on this system) is kept as it is: a copy of a
    // large paste was a megabyte of fresh memory and a few milliseconds of page faults.
    const auto *const begin = reinterpret_cast<const char16_t *>(text.constData());
    const char16_t *const end = begin + text.size();
    if (nextBreak(begin, end) == end)
        return text;
    LineBreaks breaks;
    QString result = breaks.normalize(text);
    if (breaks.after() == After::CrCr)
        result.append(u'\n');
    return result;
}
