#pragma once

#include <QFont>
#include <QTextLayout>

#include <memory>
#include <unordered_map>

// Shaped single lines for painting a box and for finding positions by x, kept for the lines shown
// and shaped again when their text or the font changes. Lines never wrap.
class LineLayouts
{
public:
    const QTextLayout &layout(qsizetype line, QStringView text);
    void setFont(const QFont &font);
    void clear() { m_layouts.clear(); }
    // The widest line shaped so far: what the horizontal scroll bar has to reach.
    qreal widest() const { return m_widest; }
    void forgetWidest() { m_widest = 0; }

private:
    // Enough for every line of a tall window; past that the cache starts over.
    static constexpr std::size_t kMostKept = 512;

    std::unordered_map<qsizetype, std::unique_ptr<QTextLayout>> m_layouts;
    QFont m_font;
    qreal m_widest = 0;
};
