#include "textbox/text_key_map.h"

#include <QKeyEvent>
#include <QKeySequence>

namespace {
struct MoveKey
{
    QKeySequence::StandardKey key;
    TextKeyMap::Move move;
    bool select;
};

struct ActionKey
{
    QKeySequence::StandardKey key;
    TextKeyMap::Action action;
};

using Move = TextKeyMap::Move;
using Action = TextKeyMap::Action;

constexpr MoveKey kMoveKeys[] = {
    {QKeySequence::MoveToNextChar, Move::Right, false},
    {QKeySequence::MoveToPreviousChar, Move::Left, false},
    {QKeySequence::MoveToNextWord, Move::WordRight, false},
    {QKeySequence::MoveToPreviousWord, Move::WordLeft, false},
    {QKeySequence::MoveToNextLine, Move::Down, false},
    {QKeySequence::MoveToPreviousLine, Move::Up, false},
    {QKeySequence::MoveToStartOfLine, Move::LineStart, false},
    {QKeySequence::MoveToEndOfLine, Move::LineEnd, false},
    {QKeySequence::MoveToStartOfBlock, Move::LineStart, false},
    {QKeySequence::MoveToEndOfBlock, Move::LineEnd, false},
    {QKeySequence::MoveToNextPage, Move::PageDown, false},
    {QKeySequence::MoveToPreviousPage, Move::PageUp, false},
    {QKeySequence::MoveToStartOfDocument, Move::Start, false},
    {QKeySequence::MoveToEndOfDocument, Move::End, false},
    {QKeySequence::SelectNextChar, Move::Right, true},
    {QKeySequence::SelectPreviousChar, Move::Left, true},
    {QKeySequence::SelectNextWord, Move::WordRight, true},
    {QKeySequence::SelectPreviousWord, Move::WordLeft, true},
    {QKeySequence::SelectNextLine, Move::Down, true},
    {QKeySequence::SelectPreviousLine, Move::Up, true},
    {QKeySequence::SelectStartOfLine, Move::LineStart, true},
    {QKeySequence::SelectEndOfLine, Move::LineEnd, true},
    {QKeySequence::SelectStartOfBlock, Move::LineStart, true},
    {QKeySequence::SelectEndOfBlock, Move::LineEnd, true},
    {QKeySequence::SelectNextPage, Move::PageDown, true},
    {QKeySequence::SelectPreviousPage, Move::PageUp, true},
    {QKeySequence::SelectStartOfDocument, Move::Start, true},
    {QKeySequence::SelectEndOfDocument, Move::End, true},
};

constexpr ActionKey kActionKeys[] = {
    {QKeySequence::SelectAll, Action::SelectAll},
    {QKeySequence::Copy, Action::Copy},
    {QKeySequence::Cut, Action::Cut},
    {QKeySequence::Paste, Action::Paste},
    {QKeySequence::Undo, Action::Undo},
    {QKeySequence::Redo, Action::Redo},
    {QKeySequence::Delete, Action::DeleteNext},
    {QKeySequence::Backspace, Action::DeletePrevious},
    {QKeySequence::DeleteEndOfWord, Action::DeleteNextWord},
    {QKeySequence::DeleteStartOfWord, Action::DeletePreviousWord},
    {QKeySequence::InsertParagraphSeparator, Action::NewLine},
    {QKeySequence::InsertLineSeparator, Action::NewLine},
};
} // namespace

std::optional<TextKeyMap::Command> TextKeyMap::commandFor(const QKeyEvent *event)
{
    for (const MoveKey &entry : kMoveKeys) {
        if (event->matches(entry.key))
            return Command{entry.move, entry.select, std::nullopt};
    }
    for (const ActionKey &entry : kActionKeys) {
        if (event->matches(entry.key))
            return Command{std::nullopt, false, entry.action};
    }
    // Shift+Backspace is still a backspace, as in every other text field.
    if (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier))
        return Command{std::nullopt, false, Action::DeletePrevious};
    return std::nullopt;
}
