#pragma once

#include <QFont>
#include <QString>

#include <array>
#include <bitset>
#include <unordered_map>
#include <vector>

// How far each character moves the pen in the font a box draws with, for placing the text of a line
// too long to lay out whole: a layout of a line of millions of characters costs what the line costs
// at every change, and past a few million its positions overflow. Counted in 1/64 pixel, as Qt's
// layouts count, so sums are exact. The box draws without kerning and, where a script allows,
// without shaping, so a stretch of a line is as wide as the sum of its characters' advances and a
// layout of any part of it draws at the x these sums give.
class Advances
{
public:
    // How a run of characters moves the pen: by `beforeTab`; if the run holds a tab, then on to the
    // next tab stop and by `afterTab` from there. Tab stops lie at multiples of the stop distance from
    // the start of the line, so where a run ends depends on where it starts only up to its first tab.
    struct Run
    {
        qint64 beforeTab = 0;
        qint64 afterTab = 0;
        bool hasTab = false;
    };

    // `font` as the box lays it out (kerning off, no shaping) and the tab stop distance in pixels (0 or
    // less: a layout's own default).
    Advances(const QFont &font, qreal tabStopDistance);

    qint64 tabStop() const { return m_tabStop; }
    // Where the pen is after `run` when it started at x.
    qint64 end(const Run &run, qint64 x) const;
    // `first` followed by `second`.
    Run join(const Run &first, const Run &second) const;

    // Latin-1 text is given as its bytes, UTF-16 text as it is.
    Run measure(QLatin1StringView text) const;
    Run measure(QStringView text) const;
    // The character boundary in `text` nearest `target` when the text starts at x: its offset, with
    // its own x in `boundaryX`. A pair of surrogates is never split.
    qsizetype nearest(QLatin1StringView text, qint64 x, qint64 target, qint64 &boundaryX) const;
    qsizetype nearest(QStringView text, qint64 x, qint64 target, qint64 &boundaryX) const;
    // As nearest(), measuring nothing: a character not measured yet counts as wide as a Latin 'n' and
    // sets `guessed`. For choosing what of a line to lay out before its new characters are measured.
    qsizetype nearestKnown(QStringView text, qint64 x, qint64 target, qint64 &boundaryX, bool &guessed) const;

    // Whether a character is drawn the same in any part of its line that holds it as in the whole
    // line: one glyph after another, each as wide as the character alone, as the box's font draws
    // Latin, Greek, Cyrillic, CJK and the symbols, controls and private characters a module at the
    // wrong baud rate sends.
    static bool standsAlone(char16_t c);

    // Puts U+200B (zero width space) in place of each character that is known, once measured, to
    // draw as nothing: one that no installed font has a glyph for (controls, private and unassigned
    // characters), which a layout leaves out. A zero width space draws the same nothing at the same
    // place, and a layout finds it in the first font it tries, where for the others it asks every
    // installed font, 10 microseconds a character on a desktop. For text whose characters all stand
    // alone, where that changes neither shaping nor order.
    void blankOut(QString &text) const;

    static constexpr qreal toPixels(qint64 units) { return qreal(units) / 64; }
    static constexpr qint64 fromPixels(qreal pixels) { return qint64(pixels * 64); }

private:
    template <typename Char> Run measureText(const Char *text, qsizetype size) const;
    // `advanceAt(at)` gives the advance of the character at `at` beyond Latin-1.
    template <typename Char, typename Width>
    qsizetype nearestIn(const Char *text, qsizetype size, qint64 x, qint64 target, qint64 &boundaryX,
                        const Width &advanceAt) const;
    qint64 advance(const char16_t *text, qsizetype at, qsizetype size) const;
    // The advance if measured, else the guess; a pair of surrogates counts at its first half.
    qint64 knownAdvance(const char16_t *text, qsizetype at, qsizetype size, bool &guessed) const;
    static bool widthHoldsInARow(char16_t c);
    void noteIfBlank(char16_t c, qint32 width) const;
    // Measures the new characters of `text` whose width holds in a row, in one layout.
    void measureAhead(const char16_t *text, qsizetype size) const;
    qint64 nextStop(qint64 x) const { return (x / m_tabStop + 1) * m_tabStop; }

    QFont m_font;
    qint64 m_tabStop;
    std::array<qint32, 256> m_latin1{};
    // Other characters, measured when first met: the basic plane by code, the rest by code point.
    mutable std::vector<qint32> m_basic;
    mutable std::unordered_map<char32_t, qint32> m_supplementary;
    // The characters of the basic plane found to draw as nothing.
    mutable std::bitset<0x10000> m_blank;
};
