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
    // A stretch of a long line that starts `x` (1/64 pixel) into the line, with its tabs stopping
    // where they stop on the whole line.
    std::unique_ptr<QTextLayout> stretch(const QString &text, qint64 x) const;
    // Kerning off and no shaping where a script does without, so that a line is as wide as its
    // characters' advances say.
    void setFont(const QFont &font);
    const QFont &font() const { return m_font; }
    const Advances &advances() const { return *m_advances; }
    LineMeasures &measures() { return m_measures; }
    void clear() { m_layouts.clear(); }
    // The widest line shaped or measured so far: what the horizontal scroll bar has to reach.
    qreal widest() const { return m_widest; }
    void noteWidth(qreal width) { m_widest = std::max(m_widest, width); }
    void forgetWidest() { m_widest = 0; }

private:
    // Enough for every line of a tall window; past that the cache starts over.
    static constexpr std::size_t kMostKept = 512;

    std::unordered_map<qsizetype, std::unique_ptr<QTextLayout>> m_layouts;
    QFont m_font;
    std::optional<Advances> m_advances;
    LineMeasures m_measures;
    qreal m_widest = 0;
};
