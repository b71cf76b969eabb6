#include "textbox/text_box.h"

#include "platform/units.h"
#include "textbox/accessible_factory.h"
#include "textbox/clipboard_copy.h"
#include "textbox/paint_throttle.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <new>
#include <utility>

namespace {
// The space around the text, as Qt's own text boxes leave it.
constexpr int kMargin = 4;
constexpr int kCaretWidth = 1;

// Text the key types into the box; with Ctrl, Alt or Meta held a key is a shortcut instead.
bool isTyped(const QKeyEvent *event)
{
    const QString text = event->text();
    if (text.isEmpty() || (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isPrint() || c == u'\t'; });
}

bool isVertical(TextKeyMap::Move move)
{
    using Move = TextKeyMap::Move;
    return move == Move::Up || move == Move::Down || move == Move::PageUp || move == Move::PageDown;
}

QString fromClipboard(QClipboard::Mode mode)
{
    return LineBreaks::whole(QGuiApplication::clipboard()->text(mode));
}

} // namespace

TextBox::TextBox(QWidget *parent)
    : QAbstractScrollArea(parent),
      m_control([this](const TextControl::Change &change) { controlChanged(change); }),
      m_moves(m_control.store(), m_layouts), m_throttle(new PaintThrottle(this))
{
    connect(m_throttle, &PaintThrottle::settled, this, &TextBox::measureShownWidths);
    connect(m_throttle, &PaintThrottle::settled, this, &TextBox::queueMeasuringAhead);
    installTextBoxAccessibility();
    QAccessible::installActivationObserver(this);
    m_announcing = QAccessible::isActive();
    setAttribute(Qt::WA_InputMethodEnabled);
    setInputMethodHints(Qt::ImhMultiLine);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    fontChanged();
}

TextBox::~TextBox()
{
    QAccessible::removeActivationObserver(this);
}

QString TextBox::text() const
{
    return m_control.text();
}

void TextBox::setText(const QString &text)
{
    m_control.setText(text);
    m_layouts.clear();
    m_layouts.forgetWidest();
    contentChanged();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
}

void TextBox::append(const QString &text, Caret caret)
{
    if (m_control.append(text)) {
        // A line that never ends is measured as it grows, so that going to its end stays cheap.
        if (store().isLong(store().lineCount() - 1))
            m_layouts.measures().measureLastLine(store());
        contentChanged();
    }
    if (caret == Caret::ToEnd) {
        moveCaret(store().length(), false);
        showCaretLine();
        m_caretColumnPending = true;
    }
}

void TextBox::endArrivals()
{
    if (m_control.endArrivals())
        contentChanged();
}

void TextBox::removeOldest(qsizetype bytes)
{
    const qsizetype linesBefore = store().lineCount();
    if (m_control.removeOldest(bytes) == 0)
        return;
    m_layouts.clear();
    // The widest line may have gone with the text: the width is found again from the lines shown.
    m_layouts.forgetWidest();
    QScrollBar *vertical = verticalScrollBar();
    const qsizetype linesGone = linesBefore - store().lineCount();
    const int shownFirst = clampedInt(std::max<qsizetype>(vertical->value() - linesGone, 0));
    contentChanged();
    vertical->setValue(shownFirst);
    // The control reported the caret before the view moved with the text; the input method hears
    // of it where it now shows.
    if (hasFocus())
        updateMicroFocus();
}

QString TextBox::selectedText() const
{
    return m_control.selectedText();
}

void TextBox::moveCursor(QTextCursor::MoveOperation operation, QTextCursor::MoveMode mode)
{
    using Move = TextKeyMap::Move;
    static constexpr std::pair<QTextCursor::MoveOperation, Move> kMoves[] = {
        {QTextCursor::Start, Move::Start},
        {QTextCursor::End, Move::End},
        {QTextCursor::StartOfLine, Move::LineStart},
        {QTextCursor::StartOfBlock, Move::LineStart},
        {QTextCursor::EndOfLine, Move::LineEnd},
        {QTextCursor::EndOfBlock, Move::LineEnd},
        {QTextCursor::Up, Move::Up},
        {QTextCursor::PreviousBlock, Move::Up},
        {QTextCursor::Down, Move::Down},
        {QTextCursor::NextBlock, Move::Down},
        {QTextCursor::Left, Move::Left},
        {QTextCursor::PreviousCharacter, Move::Left},
        {QTextCursor::Right, Move::Right},
        {QTextCursor::NextCharacter, Move::Right},
        {QTextCursor::WordLeft, Move::WordLeft},
        {QTextCursor::PreviousWord, Move::WordLeft},
        {QTextCursor::WordRight, Move::WordRight},
        {QTextCursor::NextWord, Move::WordRight},
    };
    const auto found = std::find_if(std::begin(kMoves), std::end(kMoves),
                                    [operation](const auto &entry) { return entry.first == operation; });
    if (found == std::end(kMoves))
        return;
    qreal x = -1;
    moveCaret(m_moves.target(cursorPosition(), found->second, linesFullyShown(), x),
              mode == QTextCursor::KeepAnchor);
    ensureCursorVisible();
}

void TextBox::setSelection(qsizetype anchor, qsizetype caret)
{
    m_preferredX = -1;
    m_control.setSelection(anchor, caret);
    ensureCursorVisible();
}

void TextBox::replaceRange(qsizetype position, qsizetype removed, const QString &text)
{
    m_control.edit(position, removed, LineBreaks::whole(text), false);
    edited();
}

QRect TextBox::characterRect(qsizetype position) const
{
    const qsizetype line = store().lineOf(position);
    const qsizetype end = store().lineStart(line) + store().lineLength(line);
    const qreal left = m_moves.xOf(position);
    const qreal right =
        position < end ? m_moves.xOf(position + 1) : left + fontMetrics().horizontalAdvance(u' ');
    return QRect(viewportX(left), lineTop(line), std::max(qRound(right - left), 1), m_lineHeight);
}

QRect TextBox::cursorRect() const
{
    const qsizetype line = store().lineOf(cursorPosition());
    return QRect(viewportX(m_moves.xOf(cursorPosition())), lineTop(line), kCaretWidth, m_lineHeight);
}

void TextBox::ensureCursorVisible()
{
    showCaretLine();
    showCaretColumn();
}

void TextBox::showCaretLine()
{
    const qsizetype line = store().lineOf(cursorPosition());
    const qsizetype first = firstLineShown();
    const qsizetype shown = linesFullyShown();
    if (line < first)
        verticalScrollBar()->setValue(clampedInt(line));
    else if (line >= first + shown)
        verticalScrollBar()->setValue(clampedInt(line - shown + 1));
}

void TextBox::showCaretColumn()
{
    m_caretColumnPending = false;
    const auto x = qint64(std::ceil(m_moves.xOf(cursorPosition())));
    const qsizetype line = store().lineOf(cursorPosition());
    if (store().isLong(line)) // the caret's line may be the widest yet
        m_layouts.noteWidth(m_moves.xOf(store().lineStart(line) + store().lineLength(line)));
    // A line measured only as far as a view reached is at least as wide as where its caret stands.
    m_layouts.noteWidth(qreal(x));
    updateScrollBars();
    const qint64 room = std::max(viewport()->width() - 2 * kMargin - kCaretWidth, 0);
    if (x < scrollX())
        setScrollX(x);
    else if (x > scrollX() + room)
        setScrollX(x - room);
}

qint64 TextBox::scrollX() const
{
    return qint64(horizontalScrollBar()->value()) * m_scrollUnit;
}

void TextBox::setScrollX(qint64 x)
{
    horizontalScrollBar()->setValue(int(std::min<qint64>((x + m_scrollUnit - 1) / m_scrollUnit, INT_MAX)));
}

int TextBox::viewportX(qreal x) const
{
    const qreal shown = kMargin - qreal(scrollX()) + x;
    return int(std::clamp<qreal>(std::round(shown), INT_MIN / 2, INT_MAX / 2));
}

int TextBox::lineTop(qsizetype line) const
{
    // Lines a hundred million away from the view are further than an int counts in pixels.
    const qint64 top = kMargin + qint64(line - firstLineShown()) * m_lineHeight;
    return int(std::clamp<qint64>(top, INT_MIN / 2, INT_MAX / 2));
}

void TextBox::undo()
{
    if (m_control.undo())
        edited();
}

void TextBox::redo()
{
    if (m_control.redo())
        edited();
}

void TextBox::cut()
{
    copy();
    replaceSelection(QString(), false);
}

void TextBox::copy()
{
    const Range selected = selection();
    if (selected.end > selected.start)
        copyOut(selected, QClipboard::Clipboard);
}

void TextBox::paste()
{
    pasteIn(QClipboard::Clipboard);
}

void TextBox::copyOut(Range range, QClipboard::Mode mode)
{
    ClipboardCopy::shared().start(store(), range.start, range.end - range.start, mode,
                                  [box = QPointer<TextBox>(this)] {
                                      if (box)
                                          emit box->copyFailed();
                                  });
}

void TextBox::pasteIn(QClipboard::Mode mode)
{
    ClipboardCopy::shared().finish(mode);
    try {
        replaceSelection(fromClipboard(mode), false);
    } catch (const std::bad_alloc &) {
        // The store takes its memory before it changes: the box is as it was.
        emit pasteFailed();
    }
}

void TextBox::deleteSelection()
{
    replaceSelection(QString(), false);
}

void TextBox::selectAll()
{
    m_control.setSelection(0, store().length());
}

bool TextBox::event(QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return QAbstractScrollArea::event(event);
    auto *key = static_cast<QKeyEvent *>(event);
    // Editing keys belong to the box, not to shortcuts of the window.
    if (event->type() == QEvent::ShortcutOverride && (TextKeyMap::commandFor(key) || isTyped(key))) {
        event->accept();
        return true;
    }
    // Tab types a tab unless it moves the focus on.
    if (event->type() == QEvent::KeyPress && !m_tabChangesFocus && key->key() == Qt::Key_Tab &&
        key->modifiers() == Qt::NoModifier) {
        keyPressEvent(key);
        return true;
    }
    return QAbstractScrollArea::event(event);
}

void TextBox::paintEvent(QPaintEvent *event)
{
    if (m_caretColumnPending) {
        // Painted below at the new offset; no second repaint for the scroll.
        const QSignalBlocker quiet(horizontalScrollBar());
        showCaretColumn();
    }
    m_throttle->painted();
    QPainter painter(viewport());
    const qsizetype first = firstLineShown();
    const qsizetype last = lastLineShown();
    const qreal widestBefore = m_layouts.widest();
    const Range selected = selection();
    // Only the lines the paint is for: a blink of the caret draws its own line.
    const QRect &clip = event->rect();
    const qsizetype top = first + std::max(clip.top() - kMargin, 0) / m_lineHeight;
    const qsizetype bottom = std::min(last, first + std::max(clip.bottom() - kMargin, 0) / m_lineHeight);
    for (qsizetype line = top; line <= bottom; ++line)
        drawLine(painter, line, kMargin + (line - first) * m_lineHeight, selected, event->rect());
    // Lines shaped for the first time may be wider than any before.
    if (m_layouts.widest() > widestBefore)
        QMetaObject::invokeMethod(this, &TextBox::updateScrollBars, Qt::QueuedConnection);
    // Lines measured only as far as the view reaches are measured whole once changes stop coming:
    // on the next turn, or at the end of the frame while they come.
    if (m_widthsPending && !m_throttle->inFrame())
        QMetaObject::invokeMethod(this, &TextBox::measureShownWidths, Qt::QueuedConnection);
    if (!m_scriptFontsQueued) {
        // Once the box is on screen, while nobody waits for it yet: the first line in a script the
        // box's font lacks would otherwise wait for the search, a frame's time and more.
        m_scriptFontsQueued = true;
        QMetaObject::invokeMethod(
            this, [this] { loadScriptFonts(0); }, Qt::QueuedConnection);
    }
}

void TextBox::loadScriptFonts(int step)
{
    static const std::array samples = {
        // A character of each: Chinese, Cyrillic, Greek, Arabic, Hebrew, Thai, Hangul, Japanese kana,
        // Bopomofo, a combining mark, box drawing and emoji.
        QStringLiteral("数Жαمאก한かㄅe\u0301─\u2705\U0001F600"),
        // Devanagari: where no font has it, Qt tries every installed font, as long as all the others
        // together.
        QStringLiteral("न"),
        // A private character (no font has one) after a letter of each script a module at the wrong
        // baud rate sends: the first character without a glyph in a script has Qt sort every
        // installed font for that script, 10 ms and more on a desktop with many fonts.
        QStringLiteral("数\uE000"),
        QStringLiteral("α\uE000"),
        QStringLiteral("Ж\uE000"),
        QStringLiteral("か\uE000"),
        QStringLiteral("カ\uE000"),
        QStringLiteral("ㄅ\uE000"),
    };
    // One a turn, so that the window answers in between.
    m_layouts.loadFonts(samples.at(size_t(step)), devicePixelRatioF());
    if (size_t(step) + 1 < samples.size()) {
        QMetaObject::invokeMethod(
            this, [this, step] { loadScriptFonts(step + 1); }, Qt::QueuedConnection);
        return;
    }
    // Measuring a character no font has sorts its script's fonts first: now already done.
    m_scriptFontsLoaded = true;
    queueMeasuringAhead();
}

void TextBox::measureAhead(const QString &characters)
{
    m_expected = characters;
    m_expectedMeasured = 0;
    if (m_scriptFontsLoaded)
        queueMeasuringAhead();
}

void TextBox::queueMeasuringAhead()
{
    // One slice a turn, however many reasons there are to go on: a slice already due and the end of
    // a frame would otherwise run two chains side by side, twice the time a turn.
    if (m_measuringQueued)
        return;
    m_measuringQueued = true;
    QMetaObject::invokeMethod(this, &TextBox::measureExpected, Qt::QueuedConnection);
}

void TextBox::measureExpected()
{
    m_measuringQueued = false;
    // While changes come, the frames go first; the end of them measures on.
    if (!m_scriptFontsLoaded || m_throttle->inFrame() || m_expectedMeasured >= m_expected.size())
        return;
    // A few milliseconds a turn, so that the window answers meanwhile.
    constexpr qsizetype kPiece = 16; // a quarter of a millisecond and more
    QElapsedTimer spent;
    spent.start();
    while (m_expectedMeasured < m_expected.size() && !spent.hasExpired(kMeasuringSliceMs)) {
        const qsizetype count = std::min(kPiece, m_expected.size() - m_expectedMeasured);
        m_layouts.advances().measure(QStringView(m_expected).sliced(m_expectedMeasured, count));
        m_expectedMeasured += count;
    }
    if (m_expectedMeasured < m_expected.size())
        queueMeasuringAhead();
}

TextBox::Stretch TextBox::stretchShown(qsizetype line) const
{
    const qsizetype start = store().lineStart(line);
    const qsizetype end = start + store().lineLength(line);
    if (!store().isLong(line)) {
        // Only what the view shows of a line wider than the view is laid out, where that draws the
        // same: laying out and drawing the whole of each line was most of a frame on mixed text.
        const QStringView text = store().lineView(line);
        const qint64 left = Advances::fromPixels(qreal(scrollX()));
        const qint64 right = left + Advances::fromPixels(viewport()->width());
        const LineLayouts::Span span = m_layouts.spanShown(text, left, right);
        const QTextLayout *shown =
            span.to - span.from == text.size() ? nullptr : &m_layouts.spanLayout(line, text, span);
        // A start of a line that shaping made narrower than the view after all: the whole line.
        if (!shown || (span.x == 0 && shown->lineAt(0).naturalTextWidth() < Advances::toPixels(right)))
            return {start, end, 0, &m_layouts.layout(line, text), nullptr, span.measured};
        return {start + span.from, start + span.to, Advances::toPixels(span.x), shown,
                nullptr,           span.measured};
    }
    // Only what the view shows of a long line is laid out, from a few characters before its left edge
    // to a few after its right edge.
    LineMeasures &measures = m_layouts.measures();
    m_layouts.noteWidth(Advances::toPixels(measures.xOnLine(store(), end)));
    const qint64 left = Advances::fromPixels(qreal(scrollX()));
    const qint64 right = left + Advances::fromPixels(viewport()->width());
    // Never half of a pair of surrogates at either end: a stretch drawn from the second half would
    // shift everything after it against the caret and the clicks.
    const qsizetype from =
        store().characterStart(std::max(start, measures.positionOnLine(store(), line, left) - 2));
    const qsizetype to = store().characterStart(
        std::min({end, measures.positionOnLine(store(), line, right) + 2, from + kLongestStretch}));
    const qint64 x = measures.xOnLine(store(), from);
    std::unique_ptr<QTextLayout> layout = m_layouts.stretch(store().mid(from, to - from), x);
    const QTextLayout *shown = layout.get();
    return {from, to, Advances::toPixels(x), shown, std::move(layout), true};
}

void TextBox::drawLine(QPainter &painter, qsizetype line, qreal top, Range selected, const QRect &clip)
{
    const Stretch stretch = stretchShown(line);
    m_widthsPending = m_widthsPending || !stretch.measured;
    const QPointF origin(kMargin - qreal(scrollX()) + stretch.x, top);
    const qsizetype length = stretch.end - stretch.start;
    const bool caretHere = cursorPosition() >= stretch.start && cursorPosition() <= stretch.end;
    const int column = int(cursorPosition() - stretch.start);

    QList<QTextLayout::FormatRange> formats;
    const qsizetype from = std::clamp<qsizetype>(selected.start - stretch.start, 0, length);
    const qsizetype to = std::clamp<qsizetype>(selected.end - stretch.start, 0, length);
    if (to > from) {
        QTextCharFormat highlight;
        highlight.setBackground(palette().highlight());
        highlight.setForeground(palette().highlightedText());
        formats.append({int(from), int(to - from), highlight});
    }

    QTextLayout composing;
    const bool isComposing = caretHere && !m_preedit.isEmpty();
    if (isComposing)
        layOutComposing(composing, store().mid(stretch.start, length), column);
    const QTextLayout &layout = isComposing ? composing : *stretch.layout;
    layout.draw(&painter, origin, formats, clip);

    // A selected line break shows as a space's width of highlight after the line.
    const qsizetype lineEnd = store().lineStart(line) + store().lineLength(line);
    if (stretch.end == lineEnd && selected.start <= lineEnd && selected.end > lineEnd) {
        const qreal x = origin.x() + layout.lineAt(0).naturalTextWidth();
        painter.fillRect(QRectF(x, origin.y(), fontMetrics().horizontalAdvance(u' '), m_lineHeight),
                         palette().highlight());
    }
    if (caretHere && m_caretShown && hasFocus()) {
        painter.setPen(palette().text().color());
        layout.drawCursor(&painter, origin, column + int(m_preedit.size()), kCaretWidth);
    }
}

void TextBox::layOutComposing(QTextLayout &composing, const QString &text, int column) const
{
    // What an input method is composing shows underlined at the caret.
    composing.setText(text);
    composing.setFont(m_layouts.font());
    composing.setPreeditArea(column, m_preedit);
    QTextCharFormat underline;
    underline.setFontUnderline(true);
    composing.setFormats({{column, int(m_preedit.size()), underline}});
    composing.beginLayout();
    composing.createLine();
    composing.endLayout();
}

void TextBox::resizeEvent(QResizeEvent * /*event*/)
{
    updateScrollBars();
}

void TextBox::scrollContentsBy(int /*dx*/, int /*dy*/)
{
    viewport()->update();
}

void TextBox::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fontChanged();
    else if (event->type() == QEvent::PaletteChange)
        viewport()->update();
}

void TextBox::keyPressEvent(QKeyEvent *event)
{
    const std::optional<TextKeyMap::Command> command = TextKeyMap::commandFor(event);
    if (command && command->move) {
        if (!isVertical(*command->move))
            m_preferredX = -1;
        moveCaret(m_moves.target(cursorPosition(), *command->move, linesFullyShown(), m_preferredX),
                  command->select);
        ensureCursorVisible();
    } else if (command) {
        runAction(*command->action);
    } else if (isTyped(event)) {
        replaceSelection(event->text(), true);
    } else {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TextBox::inputMethodEvent(QInputMethodEvent *event)
{
    const qsizetype caret = cursorPosition();
    if (event->replacementLength() > 0 && caret == anchorPosition()) {
        // The input method takes back characters before (or after) the caret on its line.
        const qsizetype line = store().lineOf(caret);
        const qsizetype start = store().lineStart(line);
        const qsizetype end = start + store().lineLength(line);
        const qsizetype from = std::clamp<qsizetype>(caret + event->replacementStart(), start, end);
        m_control.setSelection(from, std::clamp<qsizetype>(from + event->replacementLength(), start, end));
    }
    if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
        replaceSelection(LineBreaks::whole(event->commitString()), true);
    }
    m_preedit = event->preeditString();
    viewport()->update();
    event->accept();
}

QVariant TextBox::inputMethodQuery(Qt::InputMethodQuery query) const
{
    // An input method reads the text around the caret: its line, or a stretch of a long one.
    const qsizetype line = store().lineOf(cursorPosition());
    const qsizetype reach = store().isLong(line) ? CaretMoves::kReach : TextStore::kLongLine;
    const auto [start, end] = m_moves.reachAround(cursorPosition(), reach);
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return cursorRect().translated(viewport()->pos());
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return int(cursorPosition() - start);
    case Qt::ImAnchorPosition:
        return int(std::clamp<qsizetype>(anchorPosition() - start, 0, end - start));
    case Qt::ImSurroundingText:
        return store().mid(start, end - start);
    case Qt::ImCurrentSelection:
        return anchorPosition() >= start && anchorPosition() <= end ? selectedText() : QString();
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void TextBox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_mouseSelecting = true;
    m_preferredX = -1;
    moveCaret(positionAt(event->position().toPoint()), event->modifiers().testFlag(Qt::ShiftModifier));
}

void TextBox::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_mouseSelecting)
        return;
    // Dragging past the top or bottom scrolls on.
    const QPoint point = event->position().toPoint();
    if (point.y() < 0)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.y() > viewport()->height())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    moveCaret(positionAt(point), true);
}

void TextBox::mouseReleaseEvent(QMouseEvent *event)
{
    m_mouseSelecting = false;
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard->supportsSelection())
        return;
    // The X11 way: selecting copies, the middle button pastes.
    if (event->button() == Qt::LeftButton && cursorPosition() != anchorPosition()) {
        const Range selected = selection();
        copyOut(selected, QClipboard::Selection);
    } else if (event->button() == Qt::MiddleButton) {
        moveCaret(positionAt(event->position().toPoint()), false);
        pasteIn(QClipboard::Selection);
    }
}

void TextBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const auto [start, end] = m_moves.wordAround(positionAt(event->position().toPoint()));
    m_control.setSelection(start, end);
}

void TextBox::contextMenuEvent(QContextMenuEvent *event)
{
    const bool selected = cursorPosition() != anchorPosition();
    QMenu menu(this);
    const auto add = [&](const QString &caption, QKeySequence::StandardKey key, bool enabled,
                         void (TextBox::*slot)()) {
        QAction *action = menu.addAction(caption);
        action->setShortcut(key);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, slot);
    };
    // The words of Qt's own text fields, in whatever language Qt's translations give them.
    const auto qtWord = [](const char *source) {
        return QCoreApplication::translate("QWidgetTextControl", source);
    };
    add(qtWord("&Undo"), QKeySequence::Undo, m_control.canUndo(), &TextBox::undo);
    add(qtWord("&Redo"), QKeySequence::Redo, m_control.canRedo(), &TextBox::redo);
    menu.addSeparator();
    add(qtWord("Cu&t"), QKeySequence::Cut, selected, &TextBox::cut);
    add(qtWord("&Copy"), QKeySequence::Copy, selected, &TextBox::copy);
    add(qtWord("&Paste"), QKeySequence::Paste, !QGuiApplication::clipboard()->text().isEmpty(),
        &TextBox::paste);
    add(qtWord("Delete"), QKeySequence::Delete, selected, &TextBox::deleteSelection);
    menu.addSeparator();
    add(qtWord("Select All"), QKeySequence::SelectAll, length() > 0, &TextBox::selectAll);
    menu.exec(event->globalPos());
}

void TextBox::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    // Not announced as a move: the focus event that follows tells a screen reader where the caret
    // is, and a move heard before it makes Orca take the box as focused already and not say its label.
    drawCaret();
}

void TextBox::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    m_blink.stop();
    viewport()->update();
}

void TextBox::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_blink.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    m_caretShown = !m_caretShown;
    viewport()->update(cursorRect());
}

qsizetype TextBox::firstLineShown() const
{
    return verticalScrollBar()->value();
}

qsizetype TextBox::lastLineShown() const
{
    return std::min(store().lineCount() - 1, firstLineShown() + viewport()->height() / m_lineHeight + 1);
}

qsizetype TextBox::linesFullyShown() const
{
    return std::max((viewport()->height() - kMargin) / m_lineHeight, 1);
}

qsizetype TextBox::positionAt(QPoint point) const
{
    const auto row = qsizetype(std::floor(double(point.y() - kMargin) / m_lineHeight));
    const qsizetype line = std::clamp<qsizetype>(firstLineShown() + row, 0, store().lineCount() - 1);
    return m_moves.atX(line, qreal(point.x() - kMargin + scrollX()));
}

void TextBox::runAction(TextKeyMap::Action action)
{
    using Action = TextKeyMap::Action;
    using Move = TextKeyMap::Move;
    switch (action) {
    case Action::SelectAll:
        return selectAll();
    case Action::Copy:
        return copy();
    case Action::Cut:
        return cut();
    case Action::Paste:
        return paste();
    case Action::Undo:
        return undo();
    case Action::Redo:
        return redo();
    case Action::DeleteNext:
        return deleteTowards(Move::Right);
    case Action::DeletePrevious:
        return deleteTowards(Move::Left);
    case Action::DeleteNextWord:
        return deleteTowards(Move::WordRight);
    case Action::DeletePreviousWord:
        return deleteTowards(Move::WordLeft);
    case Action::NewLine:
        return replaceSelection(QStringLiteral("\n"), true);
    }
}

void TextBox::controlChanged(const TextControl::Change &change)
{
    using Kind = TextControl::Change::Kind;
    if (change.kind == Kind::CaretMoved) {
        if (m_announcing) {
            const qsizetype anchor = anchorPosition();
            const qsizetype caret = cursorPosition();
            if (anchor == caret) {
                QAccessibleTextCursorEvent event(this, clampedInt(caret));
                QAccessible::updateAccessibility(&event);
            } else {
                QAccessibleTextSelectionEvent event(this, clampedInt(std::min(anchor, caret)),
                                                    clampedInt(std::max(anchor, caret)));
                event.setCursorPosition(clampedInt(caret));
                QAccessible::updateAccessibility(&event);
            }
        }
        drawCaret();
        return;
    }
    // With nobody listening, an arrival costs this one test.
    if (!m_announcing)
        return;
    if (change.kind == Kind::Inserted) {
        QAccessibleTextInsertEvent event(this, clampedInt(change.position), change.text);
        QAccessible::updateAccessibility(&event);
    } else {
        announceRemoved(change.position, change.count);
    }
}

void TextBox::announceRemoved(qsizetype position, qsizetype count)
{
    // In slices, so that a reader is never handed one string of the size of the whole log; each slice
    // goes in turn, so the next one then stands at the same position.
    constexpr qsizetype kSlice = 1024 * 1024;
    for (qsizetype from = 0; from < count; from += kSlice) {
        QAccessibleTextRemoveEvent event(this, clampedInt(position),
                                         store().mid(position + from, std::min(kSlice, count - from)));
        QAccessible::updateAccessibility(&event);
    }
}

void TextBox::drawCaret()
{
    m_caretShown = true;
    if (hasFocus()) {
        const int flash = QApplication::cursorFlashTime();
        if (flash > 0)
            m_blink.start(flash / 2, this);
        updateMicroFocus();
    }
    viewport()->update();
}

void TextBox::replaceSelection(const QString &text, bool typed)
{
    m_control.replaceSelection(text, typed);
    edited();
}

void TextBox::edited()
{
    m_preferredX = -1;
    contentChanged();
    ensureCursorVisible();
}

void TextBox::deleteTowards(TextKeyMap::Move move)
{
    const qsizetype caret = cursorPosition();
    if (caret != anchorPosition()) {
        replaceSelection(QString(), false);
        return;
    }
    qreal x = -1;
    const qsizetype target = m_moves.target(caret, move, linesFullyShown(), x);
    m_control.edit(std::min(target, caret), std::abs(target - caret), QString(), false);
    edited();
}

void TextBox::contentChanged()
{
    // The throttle goes first: a change it holds must not also ask for a paint of its own, or the
    // first change after each held frame paints a second time in that frame.
    m_throttle->changed();
    updateScrollBars();
    viewport()->update();
}

void TextBox::measureShownWidths()
{
    // Changes coming again: the end of their frame measures.
    if (!m_widthsPending || m_throttle->inFrame())
        return;
    // Lines full of characters new to the box take a while: a few milliseconds a turn, so that the
    // window answers meanwhile. Lines measured on an earlier turn cost next to nothing again.
    QElapsedTimer spent;
    spent.start();
    const qreal widestBefore = m_layouts.widest();
    const qsizetype first = firstLineShown();
    const qsizetype last = lastLineShown();
    qsizetype line = first;
    for (; line <= last && !spent.hasExpired(kMeasuringSliceMs); ++line) {
        if (!store().isLong(line))
            m_layouts.noteWholeWidth(store().lineView(line));
    }
    m_widthsPending = line <= last;
    if (m_widthsPending)
        QMetaObject::invokeMethod(this, &TextBox::measureShownWidths, Qt::QueuedConnection);
    if (m_layouts.widest() > widestBefore)
        updateScrollBars();
}

void TextBox::updateScrollBars()
{
    const qsizetype shown = linesFullyShown();
    QScrollBar *vertical = verticalScrollBar();
    vertical->setPageStep(int(shown));
    setScrollRange(vertical, clampedInt(std::max<qsizetype>(store().lineCount() - shown, 0)));
    // A line of a thousand million characters is wider than a scroll bar counts in pixels: the bar
    // then counts in steps of several pixels.
    const qint64 width =
        std::max<qint64>(qint64(std::ceil(m_layouts.widest())) + 2 * kMargin - viewport()->width(), 0);
    const qint64 unit = std::max<qint64>(width / kWidestRange + 1, 1);
    QScrollBar *horizontal = horizontalScrollBar();
    if (unit != m_scrollUnit) {
        const qint64 x = scrollX();
        m_scrollUnit = unit;
        horizontal->setRange(0, int(width / unit));
        setScrollX(x);
    }
    horizontal->setPageStep(int(std::max<qint64>(viewport()->width() / m_scrollUnit, 1)));
    horizontal->setSingleStep(int(std::max<qint64>(fontMetrics().averageCharWidth() * 2 / m_scrollUnit, 1)));
    setScrollRange(horizontal, int(width / m_scrollUnit));
}

void TextBox::setScrollRange(QScrollBar *bar, int maximum)
{
    // The scroll area answers every range change with a queued call that shows or hides the bar, and
    // each queued call wakes the event loop once more. A flood grows the range with every arrival,
    // so a range that only grows past a non-empty one is set without telling anyone: the bar keeps
    // its place, its value stays, and it paints its new range all the same.
    const bool quiet = bar->maximum() > 0 && maximum >= bar->maximum();
    const QSignalBlocker blocker(quiet ? bar : nullptr);
    bar->setRange(0, maximum);
}

void TextBox::fontChanged()
{
    m_layouts.setFont(font());
    m_scriptFontsQueued = false;
    m_scriptFontsLoaded = false;
    m_expectedMeasured = 0;
    m_lineHeight = std::max(qCeil(QFontMetricsF(font()).lineSpacing()), 1);
    updateScrollBars();
    viewport()->update();
}
