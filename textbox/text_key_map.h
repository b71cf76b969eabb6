#pragma once

#include <optional>

class QKeyEvent;

// What a key press asks of a text box, by the platform's own key bindings (QKeySequence standard
// keys): a caret move, with or without extending the selection, or an editing command.
namespace TextKeyMap {
enum class Move {
    Left,
    Right,
    WordLeft,
    WordRight,
    Up,
    Down,
    LineStart,
    LineEnd,
    PageUp,
    PageDown,
    Start,
    End
};
enum class Action {
    SelectAll,
    Copy,
    Cut,
    Paste,
    Undo,
    Redo,
    DeleteNext,
    DeletePrevious,
    DeleteNextWord,
    DeletePreviousWord,
    NewLine
};
struct Command
{
    std::optional<Move> move;
    bool select = false;
    std::optional<Action> action;
};

std::optional<Command> commandFor(const QKeyEvent *event);
} // namespace TextKeyMap
