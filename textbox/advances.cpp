#include "textbox/advances.h"

#include <QTextLayout>

#include <algorithm>
#include <cstring>

namespace {
constexpr qint32 kUnmeasured = -1;
constexpr qint32 kPending = -2; // picked for a layout of several new characters
// How far past a new character the ones after it are measured with it: about what a view shows of
// a line, and no more, since a line's unseen rest may never be needed.
constexpr qsizetype kMeasuredAhead = 8;
// What a layout takes when it is given no distance of its own.
constexpr qreal kDefaultTabStop = 80;

// Where a layout of `text` in `font` puts each character boundary, in 1/64 pixel: measured by a
// layout itself, so that control characters (drawn as nothing) and characters from fallback fonts
// come out as a layout places them.
std::vector<qint64> boundaries(const QString &text, const QFont &font)
{
    QTextLayout layout(text, font);
    layout.setCacheEnabled(true); // else ending the layout drops the shaping that cursorToX() needs
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    std::vector<qint64> result(size_t(text.size()) + 1);
    for (qsizetype i = 0; i <= text.size(); ++i)
        result[size_t(i)] = qRound64(line.cursorToX(int(i)) * 64);
    return result;
}

// Whether a layout draws nothing at all for the character: no installed font has a glyph for it.
bool drawsNothing(QChar c, const QFont &font)
{
    QTextLayout layout(QString(c), font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    return layout.glyphRuns().isEmpty();
}
} // namespace

Advances::Advances(const QFont &font, qreal tabStopDistance)
    : m_font(font), m_tabStop(fromPixels(tabStopDistance > 0 ? tabStopDistance : kDefaultTabStop))
{
    QString all(qsizetype(m_latin1.size()), Qt::Uninitialized);
    for (int c = 0; c < int(m_latin1.size()); ++c)
        all[c] = c == '\t' || c == '\n' || c == '\r' ? u' ' : QChar(c); // never measured through the table
    const std::vector<qint64> at = boundaries(all, m_font);
    for (size_t c = 0; c < m_latin1.size(); ++c) {
        m_latin1[c] = qint32(at[c + 1] - at[c]);
        noteIfBlank(char16_t(c), m_latin1[c]);
    }
}

bool Advances::standsAlone(char16_t c)
{
    if (c < 0x0300)
        return true;
    if (QChar::isSurrogate(c)) // emoji, and their sequences joined into one glyph
        return false;
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format: // joiners and the direction controls
        return false;
    default:
        break;
    }
    switch (QChar::direction(c)) {
    case QChar::DirR:
    case QChar::DirAL:
    case QChar::DirAN:
        return false;
    default:
        break;
    }
    switch (QChar::script(c)) {
    case QChar::Script_Common:
    case QChar::Script_Unknown:
    case QChar::Script_Latin:
    case QChar::Script_Greek:
    case QChar::Script_Cyrillic:
    case QChar::Script_Armenian:
    case QChar::Script_Georgian:
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Bopomofo:
        return true;
    case QChar::Script_Hangul: // whole syllables; the jamo that build them combine
        return c >= 0xAC00 && c <= 0xD7A3;
    default:
        return false;
    }
}

void Advances::noteIfBlank(char16_t c, qint32 width) const
{
    if (width == 0 && standsAlone(c) && drawsNothing(QChar(c), m_font))
        m_blank.set(c);
}

void Advances::blankOut(QString &text) const
{
    // Read through const access: text with nothing to blank out is not copied.
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (m_blank.test(text.at(i).unicode()))
            text[i] = QChar(0x200B);
    }
}

bool Advances::widthHoldsInARow(char16_t c)
{
    // Characters that stand alone are as wide in a row as each on its own, with three exceptions: the
    // half-width voiced marks join the kana before them into one cluster, and a layout takes the
    // object replacement character for an object of its own.
    return standsAlone(c) && c != u'\uFF9E' && c != u'\uFF9F' && c != u'\uFFFC';
}

qint64 Advances::end(const Run &run, qint64 x) const
{
    return run.hasTab ? nextStop(x + run.beforeTab) + run.afterTab : x + run.beforeTab;
}

Advances::Run Advances::join(const Run &first, const Run &second) const
{
    if (!first.hasTab)
        return {first.beforeTab + second.beforeTab, second.afterTab, second.hasTab};
    // After the first run's tab the pen stood on a stop, and stops repeat: what follows is placed
    // from there as from the start of a line.
    return {first.beforeTab, end(second, first.afterTab), true};
}

Advances::Run Advances::measure(QLatin1StringView text) const
{
    // The flood path of a line that never ends: runs between tabs summed straight from the table.
    Run run;
    qint64 *sum = &run.beforeTab;
    const auto *at = reinterpret_cast<const unsigned char *>(text.data());
    const auto *const end = at + text.size();
    while (at < end) {
        const auto *tab = static_cast<const unsigned char *>(std::memchr(at, '\t', size_t(end - at)));
        const auto *const stop = tab ? tab : end;
        qint64 even = 0;
        qint64 odd = 0;
        for (; stop - at >= 2; at += 2) {
            even += m_latin1[at[0]];
            odd += m_latin1[at[1]];
        }
        if (at < stop)
            even += m_latin1[*at++];
        *sum += even + odd;
        if (!tab)
            break;
        if (run.hasTab)
            run.afterTab = nextStop(run.afterTab);
        run.hasTab = true;
        sum = &run.afterTab;
        ++at;
    }
    return run;
}

Advances::Run Advances::measure(QStringView text) const
{
    return measureText(text.utf16(), text.size());
}

qsizetype Advances::nearest(QLatin1StringView text, qint64 x, qint64 target, qint64 &boundaryX) const
{
    return nearestIn(text.data(), text.size(), x, target, boundaryX, [](qsizetype) { return qint64(0); });
}

qsizetype Advances::nearest(QStringView text, qint64 x, qint64 target, qint64 &boundaryX) const
{
    const char16_t *const utf16 = text.utf16();
    return nearestIn(utf16, text.size(), x, target, boundaryX,
                     [&](qsizetype at) { return advance(utf16, at, text.size()); });
}

qsizetype Advances::nearestKnown(QStringView text, qint64 x, qint64 target, qint64 &boundaryX,
                                 bool &guessed) const
{
    const char16_t *const utf16 = text.utf16();
    return nearestIn(utf16, text.size(), x, target, boundaryX,
                     [&](qsizetype at) { return knownAdvance(utf16, at, text.size(), guessed); });
}

template <typename Char> Advances::Run Advances::measureText(const Char *text, qsizetype size) const
{
    Run run;
    qint64 *sum = &run.beforeTab;
    for (qsizetype i = 0; i < size; ++i) {
        const auto c = char16_t(std::make_unsigned_t<Char>(text[i]));
        if (c == u'\t') {
            if (run.hasTab)
                run.afterTab = nextStop(run.afterTab);
            run.hasTab = true;
            sum = &run.afterTab;
        } else if (c < m_latin1.size()) {
            *sum += m_latin1[c];
        } else if constexpr (sizeof(Char) == sizeof(char16_t)) {
            *sum += advance(text, i, size);
        }
    }
    return run;
}

template <typename Char, typename Width>
qsizetype Advances::nearestIn(const Char *text, qsizetype size, qint64 x, qint64 target, qint64 &boundaryX,
                              const Width &advanceAt) const
{
    qsizetype at = 0;
    while (at < size) {
        const auto c = char16_t(std::make_unsigned_t<Char>(text[at]));
        qint64 width = 0;
        qsizetype step = 1;
        if (c == u'\t') {
            width = nextStop(x) - x;
        } else if (c < m_latin1.size()) {
            width = m_latin1[c];
        } else if constexpr (sizeof(Char) == sizeof(char16_t)) {
            width = advanceAt(at);
            if (QChar::isHighSurrogate(c) && at + 1 < size && QChar::isLowSurrogate(text[at + 1]))
                step = 2;
        }
        if (target < x + width / 2)
            break;
        x += width;
        at += step;
    }
    boundaryX = x;
    return at;
}

qint64 Advances::advance(const char16_t *text, qsizetype at, qsizetype size) const
{
    const char16_t c = text[at];
    if (QChar::isLowSurrogate(c) && at > 0 && QChar::isHighSurrogate(text[at - 1]))
        return 0; // counted with the first half of the pair
    if (QChar::isHighSurrogate(c) && at + 1 < size && QChar::isLowSurrogate(text[at + 1])) {
        const char32_t code = QChar::surrogateToUcs4(c, text[at + 1]);
        const auto found = m_supplementary.find(code);
        if (found != m_supplementary.end())
            return found->second;
        const qint32 width = qint32(boundaries(QString::fromUtf16(text + at, 2), m_font).back());
        m_supplementary.emplace(code, width);
        return width;
    }
    if (m_basic.empty())
        m_basic.assign(0x10000, kUnmeasured);
    qint32 &width = m_basic[c];
    if (width == kUnmeasured && widthHoldsInARow(c))
        measureAhead(text + at, std::min(size - at, kMeasuredAhead));
    if (width == kUnmeasured) {
        width = qint32(boundaries(QString(QChar(c)), m_font).back());
        noteIfBlank(c, width);
    }
    return width;
}

qint64 Advances::knownAdvance(const char16_t *text, qsizetype at, qsizetype size, bool &guessed) const
{
    const char16_t c = text[at];
    if (QChar::isLowSurrogate(c) && at > 0 && QChar::isHighSurrogate(text[at - 1]))
        return 0;
    qint32 width = kUnmeasured;
    if (QChar::isHighSurrogate(c) && at + 1 < size && QChar::isLowSurrogate(text[at + 1])) {
        const auto found = m_supplementary.find(QChar::surrogateToUcs4(c, text[at + 1]));
        if (found != m_supplementary.end())
            width = found->second;
    } else if (!m_basic.empty()) {
        width = m_basic[c];
    }
    if (width >= 0)
        return width;
    guessed = true;
    return m_latin1['n'];
}

void Advances::measureAhead(const char16_t *text, qsizetype size) const
{
    // A layout of each new character on its own costs more than drawing it, and a flood of Chinese
    // or of random bytes brings hundreds a frame: one layout measures them all.
    QString fresh;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text[i];
        if (c < m_latin1.size() || m_basic[c] != kUnmeasured || !widthHoldsInARow(c))
            continue;
        m_basic[c] = kPending;
        fresh.append(QChar(c));
    }
    const std::vector<qint64> at = fresh.size() > 1 ? boundaries(fresh, m_font) : std::vector<qint64>();
    for (qsizetype i = 0; i < fresh.size(); ++i) {
        const char16_t c = fresh.at(i).unicode();
        m_basic[c] = at.empty() ? kUnmeasured : qint32(at[size_t(i) + 1] - at[size_t(i)]);
        if (!at.empty())
            noteIfBlank(c, m_basic[c]);
    }
}
