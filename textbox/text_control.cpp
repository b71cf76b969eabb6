#include "textbox/text_control.h"

#include <algorithm>
#include <utility>

TextControl::TextControl(Listener listener) : m_listener(std::move(listener)) {}

QString TextControl::text() const
{
    if (m_exactText)
        return *m_exactText;
    return m_store.text(u"\r\n");
}

void TextControl::setText(const QString &text)
{
    const QString shown = LineBreaks::whole(text);
    if (m_store.length() > 0)
        report(Change::Kind::Removed, 0, m_store.length());
    m_store.clear();
    m_store.append(shown);
    if (!shown.isEmpty())
        report(Change::Kind::Inserted, 0, shown.size(), shown);
    // Clearing the box between a CR and its LF must not turn that LF into a line of its own.
    if (!text.isEmpty())
        m_arrivals.restart(text.endsWith(u'\r') ? LineBreaks::After::Cr : LineBreaks::After::Text);
    m_exactText = text;
    m_history.clear();
    moveCaret(0, false);
}

bool TextControl::append(const QString &text)
{
    const QString added = m_arrivals.normalize(text);
    if (added.isEmpty())
        return false;
    const qsizetype end = m_store.length();
    m_store.append(added);
    report(Change::Kind::Inserted, end, added.size(), added);
    m_exactText.reset();
    return true;
}

bool TextControl::endArrivals()
{
    const bool heldBreak = m_arrivals.after() == LineBreaks::After::CrCr;
    m_arrivals.restart(LineBreaks::After::Text);
    if (!heldBreak)
        return false;
    const QString added(1, u'\n');
    const qsizetype end = m_store.length();
    m_store.append(added);
    report(Change::Kind::Inserted, end, added.size(), added);
    m_exactText.reset();
    return true;
}

qsizetype TextControl::removeOldest(qsizetype bytes)
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
        return 0;
    report(Change::Kind::Removed, 0, count);
    m_store.removeFront(count);
    m_exactText.reset();
    m_history.clear();
    m_caret = std::max<qsizetype>(m_caret - count, 0);
    m_anchor = std::max<qsizetype>(m_anchor - count, 0);
    report(Change::Kind::CaretMoved, m_caret, 0);
    return count;
}

QString TextControl::selectedText() const
{
    const Range selected = selection();
    return m_store.mid(selected.start, selected.end - selected.start);
}

void TextControl::moveCaret(qsizetype position, bool select)
{
    m_caret = std::clamp<qsizetype>(position, 0, m_store.length());
    if (!select)
        m_anchor = m_caret;
    report(Change::Kind::CaretMoved, m_caret, 0);
}

void TextControl::setSelection(qsizetype anchor, qsizetype caret)
{
    m_anchor = std::clamp<qsizetype>(anchor, 0, m_store.length());
    moveCaret(caret, true);
}

void TextControl::edit(qsizetype position, qsizetype removed, const QString &inserted, bool typed)
{
    position = std::clamp<qsizetype>(position, 0, m_store.length());
    removed = std::clamp<qsizetype>(removed, 0, m_store.length() - position);
    if (removed == 0 && inserted.isEmpty())
        return;
    if (m_history.isEnabled())
        m_history.record({position, m_store.mid(position, removed), inserted, m_anchor, m_caret}, typed);
    replace(position, removed, inserted);
    moveCaret(position + inserted.size(), false);
}

void TextControl::replaceSelection(const QString &text, bool typed)
{
    const Range selected = selection();
    edit(selected.start, selected.end - selected.start, text, typed);
}

bool TextControl::undo()
{
    const std::optional<EditHistory::Edit> step = m_history.undo();
    if (!step)
        return false;
    replace(step->position, step->inserted.size(), step->removed);
    m_anchor = std::clamp<qsizetype>(step->anchorBefore, 0, m_store.length());
    moveCaret(step->caretBefore, true);
    return true;
}

bool TextControl::redo()
{
    const std::optional<EditHistory::Edit> step = m_history.redo();
    if (!step)
        return false;
    replace(step->position, step->removed.size(), step->inserted);
    moveCaret(step->position + step->inserted.size(), false);
    return true;
}

void TextControl::replace(qsizetype position, qsizetype removed, const QString &inserted)
{
    if (removed > 0)
        report(Change::Kind::Removed, position, removed);
    m_store.replace(position, removed, inserted);
    if (!inserted.isEmpty())
        report(Change::Kind::Inserted, position, inserted.size(), inserted);
    m_exactText.reset();
}
