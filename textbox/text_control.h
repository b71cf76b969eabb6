#pragma once

#include "textbox/edit_history.h"
#include "textbox/line_breaks.h"
#include "textbox/text_store.h"

#include <QString>

#include <functional>
#include <optional>

// The editing side of a text box, without a window: the text, the caret and the selection, undo and
// redo, and every change made to them. Each change is reported through one callback, so the widget
// showing the text repaints and tells assistive technology what changed without the text knowing
// either. Arriving text goes straight into the store, and its report hands the listener the very
// string that went in.
class TextControl
{
public:
    struct Change
    {
        enum class Kind {
            Inserted,   // `text` now stands at `position`
            Removed,    // `count` characters at `position` are about to go: still readable while reported
            CaretMoved, // the caret or the anchor moved; read them from the control
        };
        Kind kind;
        qsizetype position;
        qsizetype count; // characters inserted or removed
        // Inserted: the very string that went in, not a copy (a listener wanting to keep it takes a
        // shared copy, which costs no characters); empty for the other kinds.
        const QString &text;
    };
    using Listener = std::function<void(const Change &)>;

    struct Range
    {
        qsizetype start;
        qsizetype end;
    };

    explicit TextControl(Listener listener);

    const TextStore &store() const { return m_store; }
    qsizetype length() const { return m_store.length(); }
    // The text as it was set while nobody changed it since, else with CR LF line breaks.
    QString text() const;
    void setText(const QString &text);
    // Adds text at the end, its line breaks joined across calls. Returns whether anything was added.
    bool append(const QString &text);
    // The stream appended from has ended; returns whether a held-back line break was added.
    bool endArrivals();
    // Drops at least `bytes` of the oldest text, ending on a line start where one is near; caret and
    // anchor stay on the text they were on. Returns the number of characters dropped.
    qsizetype removeOldest(qsizetype bytes);

    qsizetype caret() const { return m_caret; }
    qsizetype anchor() const { return m_anchor; }
    Range selection() const { return {std::min(m_caret, m_anchor), std::max(m_caret, m_anchor)}; }
    QString selectedText() const;
    // Moves the caret, taking the anchor along unless the move selects.
    void moveCaret(qsizetype position, bool select);
    void setSelection(qsizetype anchor, qsizetype caret);

    // Replaces `removed` characters at `position` as an edit of the user's, one undo step, and puts
    // the caret after what was inserted. Typed characters that follow each other are one step.
    void edit(qsizetype position, qsizetype removed, const QString &inserted, bool typed);
    void replaceSelection(const QString &text, bool typed);
    // Whether there was a step to take back or do again.
    bool undo();
    bool redo();
    bool canUndo() const { return m_history.canUndo(); }
    bool canRedo() const { return m_history.canRedo(); }
    void setUndoRedoEnabled(bool enabled) { m_history.setEnabled(enabled); }
    bool isUndoRedoEnabled() const { return m_history.isEnabled(); }

private:
    void replace(qsizetype position, qsizetype removed, const QString &inserted);
    void report(Change::Kind kind, qsizetype position, qsizetype count, const QString &text = QString()) const
    {
        m_listener({kind, position, count, text});
    }

    Listener m_listener;
    TextStore m_store;
    LineBreaks m_arrivals; // the line breaks of appended text, which may be split across appends
    std::optional<QString> m_exactText;
    EditHistory m_history;
    qsizetype m_caret = 0;
    qsizetype m_anchor = 0;
};
