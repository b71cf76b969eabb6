#pragma once

#include <QAccessibleWidget>

class TextBox;

// What assistive technology (a screen reader, a magnifier following the caret, a test robot) reads
// of a TextBox: an editable multi-line text with a caret, a selection and text by character, word and
// line. Every query walks the box's line index, so reading a line of a box holding tens of megabytes
// costs what the line costs. The box's name is its label's caption, its description the caption of
// the frame it sits in. The box announces its changes itself; installTextBoxAccessibility() (in
// accessible_factory.h) makes Qt build this interface for it.
class TextBoxAccessible : public QAccessibleWidget,
                          public QAccessibleTextInterface,
                          public QAccessibleEditableTextInterface
{
public:
    explicit TextBoxAccessible(TextBox *box);

    void *interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    using QAccessibleWidget::text;
    QString text(QAccessible::Text type) const override;

    // QAccessibleTextInterface
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                             int *endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                            int *endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int *startOffset,
                         int *endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

    // QAccessibleEditableTextInterface
    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString &text) override;
    void replaceText(int startOffset, int endOffset, const QString &text) override;

private:
    // How far around an offset a line is read to find the character, word or sentence there.
    static constexpr int kReach = 1024;

    TextBox *box() const;
    // The unit of text of the given kind holding `offset`, as [start, end).
    std::pair<int, int> unitAt(int offset, QAccessible::TextBoundaryType boundaryType) const;
    QString unitText(std::pair<int, int> unit, int *startOffset, int *endOffset) const;
};
