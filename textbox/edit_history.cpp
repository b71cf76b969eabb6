#include "textbox/edit_history.h"

void EditHistory::setEnabled(bool enabled)
{
    m_enabled = enabled;
    if (!enabled)
        clear();
}

void EditHistory::clear()
{
    m_done.clear();
    m_undone.clear();
    m_lastTyped = false;
}

void EditHistory::record(Edit edit, bool typed)
{
    if (!m_enabled)
        return;
    m_undone.clear();
    const bool continues = typed && m_lastTyped && !m_done.empty() && edit.removed.isEmpty() &&
                           m_done.back().position + m_done.back().inserted.size() == edit.position;
    m_lastTyped = typed;
    if (continues)
        m_done.back().inserted += edit.inserted;
    else
        m_done.push_back(std::move(edit));
}

std::optional<EditHistory::Edit> EditHistory::undo()
{
    m_lastTyped = false;
    if (m_done.empty())
        return std::nullopt;
    m_undone.push_back(std::move(m_done.back()));
    m_done.pop_back();
    return m_undone.back();
}

std::optional<EditHistory::Edit> EditHistory::redo()
{
    m_lastTyped = false;
    if (m_undone.empty())
        return std::nullopt;
    m_done.push_back(std::move(m_undone.back()));
    m_undone.pop_back();
    return m_done.back();
}
