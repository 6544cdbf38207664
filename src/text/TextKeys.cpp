#include "TextKeys.h"

#include <QKeyEvent>
#include <QKeySequence>

namespace {

struct StandardKey
{
    QKeySequence::StandardKey key;
    TextCommand command;
    bool select;
};

// The platform's own keys for each command, as QKeySequence knows them.
constexpr StandardKey StandardKeys[] = {
    {QKeySequence::MoveToNextChar, TextCommand::CharacterRight, false},
    {QKeySequence::SelectNextChar, TextCommand::CharacterRight, true},
    {QKeySequence::MoveToPreviousChar, TextCommand::CharacterLeft, false},
    {QKeySequence::SelectPreviousChar, TextCommand::CharacterLeft, true},
    {QKeySequence::MoveToNextWord, TextCommand::WordRight, false},
    {QKeySequence::SelectNextWord, TextCommand::WordRight, true},
    {QKeySequence::MoveToPreviousWord, TextCommand::WordLeft, false},
    {QKeySequence::SelectPreviousWord, TextCommand::WordLeft, true},
    {QKeySequence::MoveToNextLine, TextCommand::Down, false},
    {QKeySequence::SelectNextLine, TextCommand::Down, true},
    {QKeySequence::MoveToPreviousLine, TextCommand::Up, false},
    {QKeySequence::SelectPreviousLine, TextCommand::Up, true},
    {QKeySequence::MoveToStartOfLine, TextCommand::RowStart, false},
    {QKeySequence::SelectStartOfLine, TextCommand::RowStart, true},
    {QKeySequence::MoveToEndOfLine, TextCommand::RowEnd, false},
    {QKeySequence::SelectEndOfLine, TextCommand::RowEnd, true},
    {QKeySequence::MoveToStartOfDocument, TextCommand::Start, false},
    {QKeySequence::SelectStartOfDocument, TextCommand::Start, true},
    {QKeySequence::MoveToEndOfDocument, TextCommand::End, false},
    {QKeySequence::SelectEndOfDocument, TextCommand::End, true},
    {QKeySequence::MoveToNextPage, TextCommand::PageDown, false},
    {QKeySequence::SelectNextPage, TextCommand::PageDown, true},
    {QKeySequence::MoveToPreviousPage, TextCommand::PageUp, false},
    {QKeySequence::SelectPreviousPage, TextCommand::PageUp, true},
    {QKeySequence::SelectAll, TextCommand::SelectAll, false},
    {QKeySequence::Undo, TextCommand::Undo, false},
    {QKeySequence::Redo, TextCommand::Redo, false},
    {QKeySequence::Copy, TextCommand::Copy, false},
    {QKeySequence::Cut, TextCommand::Cut, false},
    {QKeySequence::Paste, TextCommand::Paste, false},
    {QKeySequence::DeleteStartOfWord, TextCommand::DeletePreviousWord, false},
    {QKeySequence::DeleteEndOfWord, TextCommand::DeleteNextWord, false},
    {QKeySequence::Delete, TextCommand::DeleteNextCharacter, false},
};

// Characters a key types. With Ctrl or Alt alone it types none (the window's
// menus take Alt); Ctrl+Alt may, as AltGr does on some systems.
bool typesText(const QKeyEvent &key, Qt::KeyboardModifiers mods)
{
    const QString text = key.text();
    const bool ctrl = mods & Qt::ControlModifier;
    const bool alt = mods & Qt::AltModifier;
    if (text.isEmpty() || ctrl != alt || (mods & Qt::MetaModifier))
        return false;
    for (const QChar c : text) {
        if (!c.isPrint() && c.category() != QChar::Other_Format && !c.isSurrogate())
            return false;
    }
    return true;
}

} // namespace

std::optional<KeyCommand> commandForKey(const QKeyEvent &key)
{
    for (const StandardKey &standard : StandardKeys) {
        if (key.matches(standard.key))
            return KeyCommand{standard.command, standard.select, {}};
    }
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    switch (key.key()) {
    case Qt::Key_Y:
        if (mods == Qt::ControlModifier)
            return KeyCommand{TextCommand::Redo, false, {}};
        break;
    case Qt::Key_Z:
        if (mods == (Qt::ControlModifier | Qt::ShiftModifier))
            return KeyCommand{TextCommand::Redo, false, {}};
        break;
    case Qt::Key_Backspace:
        if (!(mods & ~Qt::ShiftModifier))
            return KeyCommand{TextCommand::DeletePreviousCharacter, false, {}};
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return KeyCommand{TextCommand::InsertLineBreak, false, {}};
    case Qt::Key_Tab:
        if (!(mods & (Qt::ControlModifier | Qt::AltModifier)))
            return KeyCommand{TextCommand::InsertTab, false, {}};
        break;
    default:
        break;
    }
    if (typesText(key, mods))
        return KeyCommand{TextCommand::InsertText, false, key.text()};
    return std::nullopt;
}
