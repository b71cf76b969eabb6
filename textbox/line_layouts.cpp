#include "textbox/line_layouts.h"

#include <QTextOption>

void LineLayouts::setFont(const QFont &font)
{
    m_font = font;
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
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    kept->setTextOption(option);
    kept->setCacheEnabled(true);
    kept->beginLayout();
    QTextLine textLine = kept->createLine();
    textLine.setLineWidth(0);
    textLine.setPosition(QPointF(0, 0));
    kept->endLayout();
    m_widest = std::max(m_widest, textLine.naturalTextWidth());
    return *kept;
}
