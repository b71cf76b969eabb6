#include "textbox/text_box.h"

#include "textbox/clipboard_copy.h"
#include "textbox/paint_throttle.h"
#include "textbox/text_box_accessible.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <new>

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
    : QAbstractScrollArea(parent), m_moves(m_store, m_layouts), m_throttle(new PaintThrottle(this))
{
    TextBoxAccessible::installFactory();
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
    if (m_exactText)
        return *m_exactText;
    return m_store.text(u"\r\n");
}

void TextBox::setText(const QString &text)
{
    const QString shown = LineBreaks::whole(text);
    // Copying what goes is fine here: a new text replaces the old one only now and then.
    if (m_announcing && m_store.length() > 0)
        TextBoxAccessible::announceRemoved(this, 0, m_store.text());
    m_store.clear();
    m_store.append(shown);
    if (m_announcing && !shown.isEmpty())
        TextBoxAccessible::announceInserted(this, 0, shown);
    // Clearing the box between a CR and its LF must not turn that LF into a line of its own.
    if (!text.isEmpty())
        m_arrivals.restart(text.endsWith(u'\r') ? LineBreaks::After::Cr : LineBreaks::After::Text);
    m_exactText = text;
    m_history.clear();
    m_layouts.clear();
    m_layouts.forgetWidest();
    contentChanged();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    moveCaret(0, false);
}

void TextBox::append(const QString &text, Caret caret)
{
    const QString added = m_arrivals.normalize(text);
    if (!added.isEmpty()) {
        const qsizetype end = m_store.length();
        m_store.append(added);
        if (m_store.isLong(m_store.lineCount() - 1))
            m_store.measureLastLine(m_layouts.advances());
        if (m_announcing)
            TextBoxAccessible::announceInserted(this, end, added);
        m_exactText.reset();
        contentChanged();
    }
    if (caret == Caret::ToEnd) {
        moveCaret(m_store.length(), false);
        showCaretLine();
        m_caretColumnPending = true;
    }
}

void TextBox::removeOldest(qsizetype bytes)
{
    // At a chunk boundary the memory of what goes is given back whole.
    qsizetype count = m_store.chunkBoundaryFreeing(bytes);
    const qsizetype line = m_store.lineOf(count);
    if (count != m_store.lineStart(line) && line + 1 < m_store.lineCount()) {
        const qsizetype next = m_store.lineStart(line + 1);
        if (next - count <= TextStore::kChunkCharacters)
            count = next;
    }
    if (count <= 0)
        return;
    if (m_announcing) {
        // In slices, so that a reader is never handed one string of the size of the whole log.
        constexpr qsizetype kSlice = 1024 * 1024;
        for (qsizetype from = 0; from < count; from += kSlice)
            TextBoxAccessible::announceRemoved(this, 0, m_store.mid(from, std::min(kSlice, count - from)));
    }
    const qsizetype linesGone = m_store.lineOf(count);
    m_store.removeFront(count);
    m_exactText.reset();
    m_history.clear();
    m_layouts.clear();
    m_caret = std::max<qsizetype>(m_caret - count, 0);
    m_anchor = std::max<qsizetype>(m_anchor - count, 0);
    QScrollBar *vertical = verticalScrollBar();
    const int shownFirst = int(std::max<qsizetype>(vertical->value() - linesGone, 0));
    contentChanged();
    vertical->setValue(shownFirst);
    caretMoved();
}

QString TextBox::selectedText() const
{
    const Range selected = selection();
    return m_store.mid(selected.start, selected.end - selected.start);
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
    moveCaret(m_moves.target(m_caret, found->second, linesFullyShown(), x), mode == QTextCursor::KeepAnchor);
    ensureCursorVisible();
}

void TextBox::setSelection(qsizetype anchor, qsizetype caret)
{
    m_anchor = std::clamp<qsizetype>(anchor, 0, m_store.length());
    m_preferredX = -1;
    moveCaret(caret, true);
    ensureCursorVisible();
}

void TextBox::replaceRange(qsizetype position, qsizetype removed, const QString &text)
{
    position = std::clamp<qsizetype>(position, 0, m_store.length());
    removed = std::clamp<qsizetype>(removed, 0, m_store.length() - position);
    edit(position, removed, LineBreaks::whole(text), false);
}

QRect TextBox::characterRect(qsizetype position) const
{
    const qsizetype line = m_store.lineOf(position);
    const qsizetype end = m_store.lineStart(line) + m_store.lineLength(line);
    const qreal left = m_moves.xOf(position);
    const qreal right =
        position < end ? m_moves.xOf(position + 1) : left + fontMetrics().horizontalAdvance(u' ');
    const int y = kMargin + int(line - firstLineShown()) * m_lineHeight;
    return QRect(viewportX(left), y, std::max(qRound(right - left), 1), m_lineHeight);
}

QRect TextBox::cursorRect() const
{
    const qsizetype line = m_store.lineOf(m_caret);
    const int y = kMargin + int(line - firstLineShown()) * m_lineHeight;
    return QRect(viewportX(m_moves.xOf(m_caret)), y, kCaretWidth, m_lineHeight);
}

void TextBox::ensureCursorVisible()
{
    showCaretLine();
    showCaretColumn();
}

void TextBox::showCaretLine()
{
    const qsizetype line = m_store.lineOf(m_caret);
    const qsizetype first = firstLineShown();
    const qsizetype shown = linesFullyShown();
    if (line < first)
        verticalScrollBar()->setValue(int(line));
    else if (line >= first + shown)
        verticalScrollBar()->setValue(int(line - shown + 1));
}

void TextBox::showCaretColumn()
{
    m_caretColumnPending = false;
    const qint64 x = qCeil(m_moves.xOf(m_caret));
    const qsizetype line = m_store.lineOf(m_caret);
    if (m_store.isLong(line)) // the caret's line may be the widest yet
        m_layouts.noteWidth(m_moves.xOf(m_store.lineStart(line) + m_store.lineLength(line)));
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

void TextBox::undo()
{
    const std::optional<EditHistory::Edit> step = m_history.undo();
    if (!step)
        return;
    applyEdit(step->position, step->inserted.size(), step->removed);
    m_anchor = step->anchorBefore;
    moveCaret(step->caretBefore, true);
    ensureCursorVisible();
}

void TextBox::redo()
{
    const std::optional<EditHistory::Edit> step = m_history.redo();
    if (!step)
        return;
    applyEdit(step->position, step->removed.size(), step->inserted);
    moveCaret(step->position + step->inserted.size(), false);
    ensureCursorVisible();
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
    ClipboardCopy::shared().start(m_store, range.start, range.end - range.start, mode,
                                  [box = QPointer<TextBox>(this)] {
                                      if (box)
                                          emit box->copyFailed();
                                  });
}

void TextBox::pasteIn(QClipboard::Mode mode)
{
    ClipboardCopy::shared().finish();
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
    m_anchor = 0;
    moveCaret(m_store.length(), true);
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
    QPainter painter(viewport());
    const qsizetype first = firstLineShown();
    const qsizetype last = std::min(m_store.lineCount() - 1, first + viewport()->height() / m_lineHeight + 1);
    const qreal widestBefore = m_layouts.widest();
    const Range selected = selection();
    for (qsizetype line = first; line <= last; ++line)
        drawLine(painter, line, kMargin + (line - first) * m_lineHeight, selected, event->rect());
    // Lines shaped for the first time may be wider than any before.
    if (m_layouts.widest() > widestBefore)
        QMetaObject::invokeMethod(this, &TextBox::updateScrollBars, Qt::QueuedConnection);
}

TextBox::Stretch TextBox::stretchShown(qsizetype line) const
{
    const qsizetype start = m_store.lineStart(line);
    const qsizetype end = start + m_store.lineLength(line);
    if (!m_store.isLong(line))
        return {start, end, 0, &m_layouts.layout(line, m_store.lineView(line)), nullptr};
    // Only what the view shows of a long line is laid out, from a few characters before its left edge
    // to a few after its right edge.
    const Advances &advances = m_layouts.advances();
    m_layouts.noteWidth(Advances::toPixels(m_store.xOnLine(end, advances)));
    const qint64 left = Advances::fromPixels(qreal(scrollX()));
    const qint64 right = left + Advances::fromPixels(viewport()->width());
    const qsizetype from = std::max(start, m_store.positionOnLine(line, left, advances) - 2);
    const qsizetype to = std::min({end, m_store.positionOnLine(line, right, advances) + 2, from + kLongestStretch});
    const qint64 x = m_store.xOnLine(from, advances);
    std::unique_ptr<QTextLayout> layout = m_layouts.stretch(m_store.mid(from, to - from), x);
    const QTextLayout *shown = layout.get();
    return {from, to, Advances::toPixels(x), shown, std::move(layout)};
}

void TextBox::drawLine(QPainter &painter, qsizetype line, qreal top, Range selected, const QRect &clip)
{
    const Stretch stretch = stretchShown(line);
    const QPointF origin(kMargin - qreal(scrollX()) + stretch.x, top);
    const qsizetype length = stretch.end - stretch.start;
    const bool caretHere = m_caret >= stretch.start && m_caret <= stretch.end;
    const int column = int(m_caret - stretch.start);

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
        layOutComposing(composing, stretch.layout->text(), column);
    const QTextLayout &layout = isComposing ? composing : *stretch.layout;
    layout.draw(&painter, origin, formats, clip);

    // A selected line break shows as a space's width of highlight after the line.
    const qsizetype lineEnd = m_store.lineStart(line) + m_store.lineLength(line);
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
        moveCaret(m_moves.target(m_caret, *command->move, linesFullyShown(), m_preferredX), command->select);
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
    if (event->replacementLength() > 0 && m_caret == m_anchor) {
        // The input method takes back characters before (or after) the caret on its line.
        const qsizetype line = m_store.lineOf(m_caret);
        const qsizetype start = m_store.lineStart(line);
        const qsizetype end = start + m_store.lineLength(line);
        m_anchor = std::clamp<qsizetype>(m_caret + event->replacementStart(), start, end);
        m_caret = std::clamp<qsizetype>(m_anchor + event->replacementLength(), start, end);
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
    const qsizetype line = m_store.lineOf(m_caret);
    const qsizetype reach = m_store.isLong(line) ? CaretMoves::kReach : TextStore::kLongLine;
    const auto [start, end] = m_moves.reachAround(m_caret, reach);
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return cursorRect().translated(viewport()->pos());
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return int(m_caret - start);
    case Qt::ImAnchorPosition:
        return int(std::clamp<qsizetype>(m_anchor - start, 0, end - start));
    case Qt::ImSurroundingText:
        return m_store.mid(start, end - start);
    case Qt::ImCurrentSelection:
        return m_anchor >= start && m_anchor <= end ? selectedText() : QString();
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
    if (event->button() == Qt::LeftButton && m_caret != m_anchor) {
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
    m_anchor = start;
    moveCaret(end, true);
}

void TextBox::contextMenuEvent(QContextMenuEvent *event)
{
    const bool selected = m_caret != m_anchor;
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
    add(qtWord("&Undo"), QKeySequence::Undo, m_history.canUndo(), &TextBox::undo);
    add(qtWord("&Redo"), QKeySequence::Redo, m_history.canRedo(), &TextBox::redo);
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

TextBox::Range TextBox::selection() const
{
    return {std::min(m_caret, m_anchor), std::max(m_caret, m_anchor)};
}

qsizetype TextBox::firstLineShown() const
{
    return verticalScrollBar()->value();
}

qsizetype TextBox::linesFullyShown() const
{
    return std::max((viewport()->height() - kMargin) / m_lineHeight, 1);
}

qsizetype TextBox::positionAt(QPoint point) const
{
    const auto row = qsizetype(std::floor(double(point.y() - kMargin) / m_lineHeight));
    const qsizetype line = std::clamp<qsizetype>(firstLineShown() + row, 0, m_store.lineCount() - 1);
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

void TextBox::moveCaret(qsizetype position, bool select)
{
    m_caret = std::clamp<qsizetype>(position, 0, m_store.length());
    if (!select)
        m_anchor = m_caret;
    caretMoved();
}

void TextBox::caretMoved()
{
    if (m_announcing)
        TextBoxAccessible::announceCaret(this, m_anchor, m_caret);
    drawCaret();
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
    const Range selected = selection();
    edit(selected.start, selected.end - selected.start, text, typed);
}

void TextBox::deleteTowards(TextKeyMap::Move move)
{
    if (m_caret != m_anchor) {
        replaceSelection(QString(), false);
        return;
    }
    qreal x = -1;
    const qsizetype target = m_moves.target(m_caret, move, linesFullyShown(), x);
    edit(std::min(target, m_caret), std::abs(target - m_caret), QString(), false);
}

void TextBox::edit(qsizetype position, qsizetype removed, const QString &inserted, bool typed)
{
    if (removed == 0 && inserted.isEmpty())
        return;
    if (m_history.isEnabled())
        m_history.record({position, m_store.mid(position, removed), inserted, m_anchor, m_caret}, typed);
    applyEdit(position, removed, inserted);
    moveCaret(position + inserted.size(), false);
    ensureCursorVisible();
}

void TextBox::applyEdit(qsizetype position, qsizetype removed, const QString &inserted)
{
    if (m_announcing && removed > 0)
        TextBoxAccessible::announceRemoved(this, position, m_store.mid(position, removed));
    m_store.replace(position, removed, inserted);
    if (m_announcing && !inserted.isEmpty())
        TextBoxAccessible::announceInserted(this, position, inserted);
    m_exactText.reset();
    m_preferredX = -1;
    contentChanged();
}

void TextBox::contentChanged()
{
    updateScrollBars();
    viewport()->update();
    m_throttle->changed();
}

void TextBox::updateScrollBars()
{
    const qsizetype shown = linesFullyShown();
    QScrollBar *vertical = verticalScrollBar();
    vertical->setPageStep(int(shown));
    setScrollRange(vertical, int(std::max<qsizetype>(m_store.lineCount() - shown, 0)));
    // A line of a thousand million characters is wider than a scroll bar counts in pixels: the bar
    // then counts in steps of several pixels.
    const qint64 width = std::max<qint64>(qCeil(m_layouts.widest()) + 2 * kMargin - viewport()->width(), 0);
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
    m_store.forgetMeasures();
    m_lineHeight = std::max(qCeil(QFontMetricsF(font()).lineSpacing()), 1);
    updateScrollBars();
    viewport()->update();
}
