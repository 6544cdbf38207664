#pragma once
// The one table from keys to what the text area does with them. The view
// runs the command a key stands for, and claims exactly the keys that stand
// for one, ahead of other shortcuts (but for those the window keeps for its
// own menu).

#include <QString>
#include <optional>

class QKeyEvent;

enum class TextCommand {
    // Caret moves; with `select`, the selection's far end moves instead.
    // Left and Right go the way the arrows point, in a line of any direction.
    CharacterRight, CharacterLeft, WordRight, WordLeft, RowStart, RowEnd,
    Down, Up, PageDown, PageUp, Start, End,
    // Editing.
    SelectAll, Undo, Redo, Copy, Cut, Paste,
    DeleteNextCharacter, DeletePreviousCharacter, DeleteNextWord, DeletePreviousWord,
    InsertLineBreak, InsertTab, InsertText,
};

struct KeyCommand
{
    TextCommand command;
    bool select = false;
    QString text; // what InsertText types
};

// The command a key stands for, or none.
std::optional<KeyCommand> commandForKey(const QKeyEvent &key);
