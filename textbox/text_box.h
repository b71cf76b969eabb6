#pragma once

#include "textbox/caret_moves.h"
#include "textbox/line_layouts.h"
#include "textbox/text_control.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QBasicTimer>
#include <QClipboard>
#include <QTextCursor>

#include <memory>

class PaintThrottle;

// A multi-line text box that keeps text exact and takes a flood. A text box stores line breaks, not
// the characters that made them, so text set from code ("AT" CR LF, a payload with a lone LF) is
// remembered as it was given and read back unchanged until the user edits it; what the user types
// reads back with CR LF line breaks, as a module expects.
//
// The text, caret, selection and undo live in a TextControl; the box shows them, takes the keys, the
// mouse and the input method, and tells assistive technology of each change the control reports.
// The text lives in a TextStore, so adding to a box holding tens of megabytes costs what the new text
// costs; only the lines on screen are ever shaped, and while text keeps arriving the box repaints once
// a frame. The user scrolls, selects, edits, copies and pastes as in any text field; lines never wrap.
class TextBox : public QAbstractScrollArea, private QAccessible::ActivationObserver
{
    Q_OBJECT

public:
    explicit TextBox(QWidget *parent = nullptr);
    ~TextBox() override;

    QString text() const;
    void setText(const QString &text);

    enum class Caret { ToEnd, Keep };
    // Adds text at the end without touching what is already there. CR LF, a lone CR and a lone LF
    // each break the line once, also when a CR LF pair is split across two calls. ToEnd puts the
    // caret at the end and scrolls to it; Keep leaves caret, selection and view where they are.
    void append(const QString &text, Caret caret);
    // The stream appended from has ended (its port closed): a CR it ended with is not joined to an LF
    // that opens the next one, and a break it held back waiting for that LF is shown now.
    void endArrivals();

    // The text as shown, with '\n' line breaks.
    QString toPlainText() const { return store().text(); }
    // Characters shown, each line break counting one; lines, an empty box having one.
    qsizetype length() const { return store().length(); }
    // The memory the text takes: its characters, its line index and the blocks it keeps alive.
    qsizetype heldBytes() const { return store().bytes(); }
    // The most heldBytes() can be once `characters` more are appended.
    qsizetype heldBytesAfterAppending(qsizetype characters) const
    {
        return store().bytesAfterAppending(characters);
    }
    // Drops at least `bytes` of the oldest text, from the top, ending on a line start where one is
    // near; the caret, the selection and the view stay on the text they were on.
    void removeOldest(qsizetype bytes);
    qsizetype lineCount() const { return store().lineCount(); }
    qsizetype lineLength(qsizetype line) const { return store().lineLength(line); }
    // The line holding a position (a line break belongs to the line it ends) and where a line starts.
    qsizetype lineOf(qsizetype position) const { return store().lineOf(position); }
    qsizetype lineStart(qsizetype line) const { return store().lineStart(line); }
    // `count` characters from `position`, line breaks as '\n'.
    QString textRange(qsizetype position, qsizetype count) const { return store().mid(position, count); }

    // The caret is at cursorPosition(); the selection runs from anchorPosition() to it.
    qsizetype cursorPosition() const { return m_control.caret(); }
    qsizetype anchorPosition() const { return m_control.anchor(); }
    QString selectedText() const;
    void moveCursor(QTextCursor::MoveOperation operation,
                    QTextCursor::MoveMode mode = QTextCursor::MoveAnchor);
    // Selects from `anchor` to `caret` (the caret alone when they are equal) and shows the caret.
    void setSelection(qsizetype anchor, qsizetype caret);
    // Replaces `removed` characters at `position` as an edit of the user's, one undo step.
    void replaceRange(qsizetype position, qsizetype removed, const QString &text);
    // The caret's rectangle in viewport coordinates.
    QRect cursorRect() const;
    // The character's rectangle (a line break's is a space wide), and the position nearest a
    // point, both in viewport coordinates.
    QRect characterRect(qsizetype position) const;
    qsizetype positionAt(QPoint point) const;
    void ensureCursorVisible();

    void setTabChangesFocus(bool changesFocus) { m_tabChangesFocus = changesFocus; }
    bool tabChangesFocus() const { return m_tabChangesFocus; }
    // Characters the box is likely to be given, measured ahead: a slice at a time while the box is
    // quiet, once it has shown and found its fonts (again after a change of font). The first lines
    // that bring characters new to the box otherwise measure them in their frame, most of a frame
    // in a flood of Chinese or of random bytes.
    void measureAhead(const QString &characters);
    bool measuringAhead() const { return m_expectedMeasured < m_expected.size(); }
    void setUndoRedoEnabled(bool enabled) { m_control.setUndoRedoEnabled(enabled); }
    bool isUndoRedoEnabled() const { return m_control.isUndoRedoEnabled(); }

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

public slots:
    void undo();
    void redo();
    void cut();
    void copy();
    void paste();
    void deleteSelection();
    void selectAll();

signals:
    // The memory for a copy or a paste could not be had; the box and the clipboard are as they were.
    void copyFailed();
    void pasteFailed();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    using Range = TextControl::Range;
    // The part of a line that is laid out to be drawn, starting x pixels into the line.
    struct Stretch
    {
        qsizetype start;
        qsizetype end;
        qreal x;
        const QTextLayout *layout;
        std::unique_ptr<QTextLayout> owned;
        bool measured; // the line's whole width is known
    };
    // The most of a long line laid out at once: many times what a view shows.
    static constexpr qsizetype kLongestStretch = 4096;
    // The most time one turn of the event loop spends measuring lines whole for the scroll bar.
    static constexpr qint64 kMeasuringSliceMs = 4;
    // What the horizontal scroll bar counts to at most, in its own units.
    static constexpr qint64 kWidestRange = 1 << 30;

    const TextStore &store() const { return m_control.store(); }
    Range selection() const { return m_control.selection(); }
    qsizetype firstLineShown() const;
    // The last line a view shows any of.
    qsizetype lastLineShown() const;
    qsizetype linesFullyShown() const;
    void runAction(TextKeyMap::Action action);
    void moveCaret(qsizetype position, bool select) { m_control.moveCaret(position, select); }
    void controlChanged(const TextControl::Change &change);
    void announceRemoved(qsizetype position, qsizetype count);
    void drawCaret(); // shows the caret at once, restarts its blink and tells the input method
    void replaceSelection(const QString &text, bool typed);
    void edited(); // after the control changed the text for the user
    void copyOut(Range range, QClipboard::Mode mode);
    void pasteIn(QClipboard::Mode mode);
    void deleteTowards(TextKeyMap::Move move);
    void contentChanged();
    void updateScrollBars();
    static void setScrollRange(QScrollBar *bar, int maximum);
    void showCaretLine();
    void showCaretColumn();
    void fontChanged();
    qint64 scrollX() const;
    // The top of a line in viewport coordinates, saturated to what a QRect holds.
    int lineTop(qsizetype line) const;
    void setScrollX(qint64 x);
    int viewportX(qreal x) const;
    Stretch stretchShown(qsizetype line) const;
    // Finds the fonts of the scripts the box's font lacks, a sample a turn from `step` on.
    void loadScriptFonts(int step);
    // Measures the whole of the lines on screen that were painted measured only as far as the view
    // reaches, for the scroll bar.
    void measureShownWidths();
    // Measures the next slice of the characters given to measureAhead(), on a later turn.
    void queueMeasuringAhead();
    void measureExpected();
    void drawLine(QPainter &painter, qsizetype line, qreal top, Range selected, const QRect &clip);
    void layOutComposing(QTextLayout &composing, const QString &text, int column) const;
    void accessibilityActiveChanged(bool active) override { m_announcing = active; }

    TextControl m_control;
    mutable LineLayouts m_layouts;
    CaretMoves m_moves;
    PaintThrottle *m_throttle;
    bool m_widthsPending = false; // a line painted since the last measureShownWidths() was not measured whole
    QBasicTimer m_blink;
    QString m_preedit;       // what an input method is composing at the caret
    qreal m_preferredX = -1; // the x that moving up and down keeps
    int m_lineHeight = 1;
    qint64 m_scrollUnit = 1; // pixels a step of the horizontal scroll bar stands for
    bool m_caretShown = false;
    bool m_tabChangesFocus = false;
    bool m_mouseSelecting = false;
    // An accessibility client listens: the control's changes are announced to it. Kept here, as
    // asking Qt on every arrival took a quarter off the TCP ingest rate.
    bool m_announcing = false;
    // The view still has to scroll sideways to the caret; done when next painted, as finding the
    // caret's x means shaping its line, which arrivals would otherwise do for every piece.
    bool m_caretColumnPending = false;
    bool m_scriptFontsQueued = false; // for the font the box has now
    bool m_scriptFontsLoaded = false;
    QString m_expected; // characters to measure ahead, the first m_expectedMeasured of them done
    qsizetype m_expectedMeasured = 0;
    bool m_measuringQueued = false; // a slice of measuring ahead is due on a later turn
};
