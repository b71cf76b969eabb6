#include "textbox/line_layouts.h"

#include <QTextOption>

namespace {
void layOut(QTextLayout &layout, const QTextOption &option)
{
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    QTextLine textLine = layout.createLine();
    textLine.setLineWidth(0);
    textLine.setPosition(QPointF(0, 0));
    layout.endLayout();
}

QTextOption noWrap()
{
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    return option;
}
} // namespace

void LineLayouts::setFont(const QFont &font)
{
    m_font = font;
    m_font.setKerning(false);
    m_font.setStyleStrategy(QFont::StyleStrategy(m_font.styleStrategy() | QFont::PreferNoShaping));
    m_advances.emplace(m_font, noWrap().tabStopDistance());
    m_measures.reset(&*m_advances);
    m_layouts.clear();
    m_widest = 0;
}

const QTextLayout &LineLayouts::layout(qsizetype line, QStringView text)
{
    std::unique_ptr<QTextLayout> &kept = m_layouts[line];
    if (kept && QStringView(kept->text()) == text)
        return *kept;
    if (m_layouts.size() > kMostKept) {
        m_layouts.clear();
        return layout(line, text);
    }
    kept = std::make_unique<QTextLayout>(text.toString(), m_font);
    layOut(*kept, noWrap());
    noteWidth(kept->lineAt(0).naturalTextWidth());
    return *kept;
}

std::unique_ptr<QTextLayout> LineLayouts::stretch(const QString &text, qint64 x) const
{
    // A layout puts tab stops at multiples of the stop distance from its own start; this one starts
    // x into the line, so it is told where the line's stops fall instead.
    const qint64 stop = m_advances->tabStop();
    const qint64 end = m_advances->end(m_advances->measure(text), x);
    QList<QTextOption::Tab> tabs;
    if (text.contains(u'\t')) {
        for (qint64 at = (x / stop + 1) * stop; at <= end; at += stop)
            tabs.append(QTextOption::Tab(Advances::toPixels(at - x), QTextOption::LeftTab));
    }
    QTextOption option = noWrap();
    option.setTabs(tabs);
    auto layout = std::make_unique<QTextLayout>(text, m_font);
    layOut(*layout, option);
    return layout;
}
