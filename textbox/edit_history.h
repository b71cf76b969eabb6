#pragma once

#include <QString>

#include <optional>
#include <vector>

// Undo and redo for what the user does to a text box. Characters typed one after another make one
// step; any other edit, or typing somewhere else, starts a new one.
class EditHistory
{
public:
    struct Edit
    {
        qsizetype position = 0;
        QString removed;
        QString inserted;
        qsizetype anchorBefore = 0; // the selection before the edit, to restore on undo
        qsizetype caretBefore = 0;
    };

    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }
    void record(Edit edit, bool typed);
    void clear();

    // The step to take back (undo) or to do again (redo), or nothing.
    std::optional<Edit> undo();
    std::optional<Edit> redo();
    bool canUndo() const { return !m_done.empty(); }
    bool canRedo() const { return !m_undone.empty(); }

private:
    std::vector<Edit> m_done;
    std::vector<Edit> m_undone;
    bool m_enabled = true;
    bool m_lastTyped = false;
};
