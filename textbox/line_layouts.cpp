#include "textbox/line_layouts.h"

#include <QImage>
#include <QPainter>
#include <QScopeGuard>
#include <QTextOption>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

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

// Keeps a cache of lines' layouts, which holds `line` already, at `most` other lines by dropping the
// line farthest from it: a flood moves on to ever later lines and a scroll to nearby ones, so that
// is the line least likely to be shown again. One at a time: dropping them all at once when the
// cache was full took most of a frame.
template <typename Cache> void makeRoom(Cache &cache, qsizetype line, std::size_t most)
{
    if (cache.size() <= most)
        return;
    const auto distance = [line](const auto &entry) { return std::abs(entry.first - line); };
    cache.erase(std::max_element(cache.begin(), cache.end(),
                                 [&](const auto &a, const auto &b) { return distance(a) < distance(b); }));
}

// Characters past either edge of the view that a part takes along, for a glyph that reaches over
// the edge.
constexpr qsizetype kBeyondEdge = 4;

} // namespace

void LineLayouts::setFont(const QFont &font)
{
    m_font = font;
    m_font.setKerning(false);
    m_font.setStyleStrategy(QFont::StyleStrategy(m_font.styleStrategy() | QFont::PreferNoShaping));
    // Glyphs on whole pixels: placed at fractions of a pixel, as lighter hinting places them, each
    // character is drawn anew for every fraction it lands on, and a flood of characters new to the
    // box spent most of its frames doing that.
    m_font.setHintingPreference(QFont::PreferFullHinting);
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
    makeRoom(m_layouts, line, kMostKept);
    kept = std::make_unique<QTextLayout>(text.toString(), m_font);
    layOut(*kept, noWrap());
    noteWidth(kept->lineAt(0).naturalTextWidth());
    return *kept;
}

void LineLayouts::loadFonts(const QString &characters, qreal devicePixelRatio) const
{
    // Qt turns down, with a line on the terminal, each font it tries for a script and finds without
    // the tables that script needs: for a script no installed font has, a line for every font.
    // While the box looks for its fonts those lines are held back; anything else is printed as Qt
    // prints it.
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            if (!message.trimmed().startsWith(QLatin1String("OpenType support missing")))
                std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
        });
    const auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
    QTextLayout sample(characters, m_font);
    layOut(sample, noWrap());
    QImage image(QSize(8, 8) * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    QPainter painter(&image);
    sample.draw(&painter, QPointF(0, 0));
}

std::unique_ptr<QTextLayout> LineLayouts::stretch(const QString &text, qint64 x) const
{
    // A layout puts tab stops at multiples of the stop distance from its own start; this one starts
    // x into the line, so it is told where the line's stops fall instead.
    QList<QTextOption::Tab> tabs;
    if (text.contains(u'\t')) {
        const qint64 stop = m_advances->tabStop();
        const qint64 end = m_advances->end(m_advances->measure(text), x);
        for (qint64 at = (x / stop + 1) * stop; at <= end; at += stop)
            tabs.append(QTextOption::Tab(Advances::toPixels(at - x), QTextOption::LeftTab));
    }
    QTextOption option = noWrap();
    option.setTabs(tabs);
    QString shown = text;
    if (placedByAdvances(shown))
        m_advances->blankOut(shown);
    auto layout = std::make_unique<QTextLayout>(shown, m_font);
    layOut(*layout, option);
    return layout;
}

LineLayouts::Span LineLayouts::spanShown(QStringView text, qint64 left, qint64 right)
{
    const Span whole{0, text.size(), 0, true};
    if (!placedByAdvances(text)) {
        // Characters new to the box are not measured here: each takes a layout of its own, and a
        // pasted log in a few scripts spent a quarter of its first paint on them. Until they are
        // measured with the rest of the line, once the paint is done, each counts as a Latin letter.
        bool guessed = false;
        qint64 width = 0;
        m_advances->nearestKnown(text, 0, std::numeric_limits<qint64>::max(), width, guessed);
        if (left <= 0 && right >= width)
            return {0, text.size(), 0, !guessed};
        // The scroll bar reaches the end of the line as its characters' advances place it. Where
        // shaping draws it narrower, the bar takes that measure once the line is laid out whole.
        if (!guessed)
            noteWidth(Advances::toPixels(width));
        const Span shown = left <= 0 ? startShown(text, right) : whole;
        return {shown.from, shown.to, shown.x, !guessed};
    }
    // Measured only as far as the view reaches: measuring the unseen rest of each line, character
    // by character in the font, was most of a frame in a flood of characters new to the box.
    qint64 leftX = 0;
    const qsizetype leftEdge = m_advances->nearest(text, 0, left, leftX);
    qint64 rightX = 0;
    const qsizetype rightEdge = leftEdge + m_advances->nearest(text.sliced(leftEdge), leftX, right, rightX);
    const bool measured = rightEdge == text.size();
    noteWidth(Advances::toPixels(rightX));
    const qsizetype from = std::max<qsizetype>(leftEdge - kBeyondEdge, 0);
    const qsizetype to = std::min(rightEdge + kBeyondEdge, text.size());
    if (from == 0 && to == text.size())
        return {0, text.size(), 0, measured};
    return {from, to, m_advances->end(m_advances->measure(text.first(from)), 0), measured};
}

void LineLayouts::noteWholeWidth(QStringView text)
{
    noteWidth(Advances::toPixels(m_advances->end(m_advances->measure(text), 0)));
}

bool LineLayouts::placedByAdvances(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return Advances::standsAlone(c.unicode()); });
}

LineLayouts::Span LineLayouts::startShown(QStringView text, qint64 right) const
{
    // Shaped text can be narrower than its characters' advances (joined letters, conjuncts, emoji
    // sequences): the end is sought as far again past the view, and the box lays out the whole line when the
    // part still falls short of the view's edge.
    qint64 x = 0;
    bool guessed = false;
    qsizetype end = m_advances->nearestKnown(text, 0, 2 * right, x, guessed);
    // The part ends before a space that follows a left-to-right letter: no shaping reaches across
    // that, and in a left-to-right line text on either side of it is ordered on its own side.
    while (end < text.size() && !(text[end] == u' ' && end > 0 && text[end - 1].direction() == QChar::DirL))
        ++end;
    const Span whole{0, text.size(), 0, true};
    if (end >= text.size())
        return whole;
    // The line must read left to right as a whole, as the part does: its first letter that has a
    // direction is left to right, and nothing before the end overrides directions.
    for (qsizetype i = 0; i < end; ++i) {
        const QChar::Direction direction = text[i].direction();
        if (direction == QChar::DirR || direction == QChar::DirAL)
            return whole;
        if (direction == QChar::DirL)
            break;
    }
    const auto overrides = [](QChar c) {
        return (c >= u'\u202A' && c <= u'\u202E') || (c >= u'\u2066' && c <= u'\u2069');
    };
    if (std::any_of(text.begin(), text.begin() + end, overrides))
        return whole;
    return {0, end, 0, true};
}

const QTextLayout &LineLayouts::spanLayout(qsizetype line, QStringView text, const Span &span)
{
    KeptSpan &kept = m_spans[line];
    const QStringView shown = text.sliced(span.from, span.to - span.from);
    if (kept.layout && kept.from == span.from && kept.x == span.x && QStringView(kept.text) == shown)
        return *kept.layout;
    makeRoom(m_spans, line, kMostKept);
    kept = {span.from, span.x, shown.toString(), nullptr};
    kept.layout = stretch(kept.text, span.x);
    return *kept.layout;
}
