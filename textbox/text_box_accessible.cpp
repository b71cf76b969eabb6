#include "textbox/text_box_accessible.h"

#include "platform/units.h"
#include "textbox/text_box.h"

#include <QTextBoundaryFinder>

#include <algorithm>
#include <limits>

namespace {

// The [start, end) of the boundary-finder unit holding `column` in `text`.
std::pair<int, int> unitInLine(QTextBoundaryFinder::BoundaryType type, const QString &text, int column)
{
    QTextBoundaryFinder finder(type, text);
    finder.setPosition(column);
    const qsizetype start = finder.isAtBoundary() ? column : finder.toPreviousBoundary();
    finder.setPosition(column);
    const qsizetype end = finder.toNextBoundary();
    return {int(std::max<qsizetype>(start, 0)), int(end < 0 ? text.size() : end)};
}
} // namespace

TextBoxAccessible::TextBoxAccessible(TextBox *box) : QAccessibleWidget(box, QAccessible::EditableText) {}

TextBox *TextBoxAccessible::box() const
{
    return static_cast<TextBox *>(widget());
}

void *TextBoxAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    if (type == QAccessible::EditableTextInterface)
        return static_cast<QAccessibleEditableTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State TextBoxAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.multiLine = true;
    state.editable = true;
    state.selectableText = true;
    state.focusable = true;
    return state;
}

QString TextBoxAccessible::text(QAccessible::Text type) const
{
    if (type == QAccessible::Value)
        return box()->toPlainText();
    return QAccessibleWidget::text(type);
}

void TextBoxAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || selectionCount() == 0)
        return;
    *startOffset = clampedInt(std::min(box()->anchorPosition(), box()->cursorPosition()));
    *endOffset = clampedInt(std::max(box()->anchorPosition(), box()->cursorPosition()));
}

int TextBoxAccessible::selectionCount() const
{
    return box()->anchorPosition() != box()->cursorPosition() ? 1 : 0;
}

void TextBoxAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void TextBoxAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        box()->setSelection(box()->cursorPosition(), box()->cursorPosition());
}

void TextBoxAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        box()->setSelection(startOffset, endOffset);
}

int TextBoxAccessible::cursorPosition() const
{
    return clampedInt(box()->cursorPosition());
}

void TextBoxAccessible::setCursorPosition(int position)
{
    box()->setSelection(position, position);
}

QString TextBoxAccessible::text(int startOffset, int endOffset) const
{
    // -1 reads to the end, as AT-SPI clients ask for "everything"; an end past the text is its end.
    const qsizetype end = endOffset < 0 ? box()->length() : std::min<qsizetype>(endOffset, box()->length());
    if (startOffset < 0 || startOffset >= end)
        return QString();
    return box()->textRange(startOffset, end - startOffset);
}

std::pair<int, int> TextBoxAccessible::unitAt(int offset, QAccessible::TextBoundaryType boundaryType) const
{
    const int count = characterCount();
    if (boundaryType == QAccessible::NoBoundary)
        return {0, count};
    offset = std::clamp(offset, 0, count);
    const qsizetype line = box()->lineOf(offset);
    const int start = clampedInt(box()->lineStart(line));
    const int end = clampedInt(box()->lineStart(line) + box()->lineLength(line));
    const int withBreak = line + 1 < box()->lineCount() ? end + 1 : end;
    if (boundaryType == QAccessible::LineBoundary || boundaryType == QAccessible::ParagraphBoundary)
        return {start, withBreak};
    if (offset >= end) // the line break is a unit of its own; past the last line there is nothing
        return {offset, withBreak};
    // Characters, words and sentences are looked for around the offset, not in the whole of a line
    // that may hold millions of characters.
    const int from = std::max(start, offset - kReach);
    const QString text = box()->textRange(from, std::min(end, offset + kReach) - from);
    const auto type = boundaryType == QAccessible::CharBoundary   ? QTextBoundaryFinder::Grapheme
                      : boundaryType == QAccessible::WordBoundary ? QTextBoundaryFinder::Word
                                                                  : QTextBoundaryFinder::Sentence;
    const std::pair<int, int> unit = unitInLine(type, text, offset - from);
    return {from + unit.first, from + unit.second};
}

QString TextBoxAccessible::unitText(std::pair<int, int> unit, int *startOffset, int *endOffset) const
{
    *startOffset = unit.first;
    *endOffset = unit.second;
    return text(unit.first, unit.second);
}

QString TextBoxAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                            int *startOffset, int *endOffset) const
{
    const std::pair<int, int> here = unitAt(offset, boundaryType);
    if (boundaryType == QAccessible::NoBoundary || here.first == 0) {
        *startOffset = *endOffset = -1;
        return QString();
    }
    return unitText(unitAt(here.first - 1, boundaryType), startOffset, endOffset);
}

QString TextBoxAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                           int *startOffset, int *endOffset) const
{
    const std::pair<int, int> here = unitAt(offset, boundaryType);
    if (boundaryType == QAccessible::NoBoundary || here.second >= characterCount()) {
        *startOffset = *endOffset = -1;
        return QString();
    }
    return unitText(unitAt(here.second, boundaryType), startOffset, endOffset);
}

QString TextBoxAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                        int *startOffset, int *endOffset) const
{
    return unitText(unitAt(offset, boundaryType), startOffset, endOffset);
}

int TextBoxAccessible::characterCount() const
{
    return clampedInt(box()->length());
}

QRect TextBoxAccessible::characterRect(int offset) const
{
    if (offset < 0 || offset > characterCount())
        return QRect();
    const QRect inViewport = box()->characterRect(offset);
    return inViewport.translated(box()->viewport()->mapToGlobal(QPoint(0, 0)));
}

int TextBoxAccessible::offsetAtPoint(const QPoint &point) const
{
    const QPoint inViewport = box()->viewport()->mapFromGlobal(point);
    if (!box()->viewport()->rect().contains(inViewport))
        return -1;
    return clampedInt(box()->positionAt(inViewport));
}

void TextBoxAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    box()->setSelection(startIndex, endIndex);
}

QString TextBoxAccessible::attributes(int /*offset*/, int *startOffset, int *endOffset) const
{
    // One font and colour throughout.
    *startOffset = 0;
    *endOffset = characterCount();
    return QString();
}

void TextBoxAccessible::deleteText(int startOffset, int endOffset)
{
    replaceText(startOffset, endOffset, QString());
}

void TextBoxAccessible::insertText(int offset, const QString &text)
{
    replaceText(offset, offset, text);
}

void TextBoxAccessible::replaceText(int startOffset, int endOffset, const QString &text)
{
    if (startOffset < 0 || endOffset < startOffset)
        return;
    box()->replaceRange(startOffset, endOffset - startOffset, text);
}
