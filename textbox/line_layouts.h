#pragma once

#include "textbox/advances.h"
#include "textbox/line_measures.h"

#include <QFont>
#include <QTextLayout>

#include <memory>
#include <optional>
#include <unordered_map>

// Shaped single lines for painting a box and for finding positions by x, kept for the lines shown
// and shaped again when their text or the font changes. Lines never wrap. A line too long to shape
// whole is shaped a stretch at a time, placed by the font's advances.
class LineLayouts
{
public:
    const QTextLayout &layout(qsizetype line, QStringView text);

    // What a view from `left` to `right` (1/64 pixel from the line's start) shows of a line that is
    // not too long to shape whole: characters [from, to), a few more than it shows on either side,
    // starting `x` into the line; the whole line where the view shows all of it. Text that shaping
    // draws otherwise in parts (right-to-left text, combining marks, scripts whose letters join or
    // reorder, emoji sequences) is only ever cut after the view, where no shaping reaches across.
    // A line wider than the view whose characters are placed by their advances is measured only
    // as far as the view reaches, and other lines not at all where they hold characters new to the
    // box; `measured` says whether the whole line was, and with it the line's width.
    // noteWholeWidth() measures the rest.
    struct Span
    {
        qsizetype from;
        qsizetype to;
        qint64 x;
        bool measured;
    };
    Span spanShown(QStringView text, qint64 left, qint64 right);
    void noteWholeWidth(QStringView text);
    // Whether every character of the text is drawn one glyph after another, each as wide as its
    // advance, so that any part of it lays out where the advances before it place it.
    static bool placedByAdvances(QStringView text);
    // A laid-out part of a line, kept like a whole line's layout.
    const QTextLayout &spanLayout(qsizetype line, QStringView text, const Span &span);
    // A stretch of a long line that starts `x` (1/64 pixel) into the line, with its tabs stopping
    // where they stop on the whole line; for drawing only, with what draws as nothing blanked out
    // (Advances::blankOut).
    std::unique_ptr<QTextLayout> stretch(const QString &text, qint64 x) const;
    // Kerning off and no shaping where a script does without, so that a line is as wide as its
    // characters' advances say; glyphs on whole pixels.
    void setFont(const QFont &font);
    const QFont &font() const { return m_font; }
    // Finds and opens the fonts that draw `characters` where the box's own font has no glyph, and
    // draws them once as the box draws. The first line holding such a character otherwise pays for
    // the search, a frame's time and more for a character no installed font has.
    void loadFonts(const QString &characters, qreal devicePixelRatio) const;
    const Advances &advances() const { return *m_advances; }
    LineMeasures &measures() { return m_measures; }
    void clear()
    {
        m_layouts.clear();
        m_spans.clear();
    }
    // The widest line shaped or measured so far: what the horizontal scroll bar has to reach.
    qreal widest() const { return m_widest; }
    void noteWidth(qreal width) { m_widest = std::max(m_widest, width); }
    void forgetWidest() { m_widest = 0; }

private:
    // Enough for every line of a tall window; past that the line farthest from the one laid out
    // goes.
    static constexpr std::size_t kMostKept = 512;

    // The start of a line that shaping may draw otherwise in parts, up to a place past the view's
    // right edge that no shaping or ordering reaches across; the whole line where there is none.
    Span startShown(QStringView text, qint64 right) const;

    struct KeptSpan
    {
        qsizetype from = 0;
        qint64 x = 0;
        QString text; // as the line has it: the layout's own may have characters blanked out
        std::unique_ptr<QTextLayout> layout;
    };

    std::unordered_map<qsizetype, std::unique_ptr<QTextLayout>> m_layouts;
    std::unordered_map<qsizetype, KeptSpan> m_spans;
    QFont m_font;
    std::optional<Advances> m_advances;
    LineMeasures m_measures;
    qreal m_widest = 0;
};
