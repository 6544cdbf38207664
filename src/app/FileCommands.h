#pragma once
// File > Open and File > Save As...: a text file into the note, the note into
// a text file, through the open and save dialogs of CMDialog1; and the one
// way a file's text comes into the note, at start-up and by Open.

#include <QString>

class ClipText;
class CommonDialog;
class NoteFile;

namespace FileCommands {

inline constexpr const char *TextFilter = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|";

// Reads the file at path into the text area (with progress and Cancel past
// half a second), the note's file taking the format it came in. False where
// it did not: *failure then says what to tell the user (nothing after a
// Cancel, or where the note went while the file was read).
bool load(const QString &path, NoteFile &file, ClipText &text, QString *failure);

void openFile(NoteFile &file, CommonDialog &dialog, ClipText &text);
void saveFileAs(NoteFile &file, CommonDialog &dialog, const ClipText &text);

} // namespace FileCommands
