#pragma once
// How the program's other windows stand to the note: above it while it is
// kept above all others, and placed over it only once it is shown.

class QWidget;

namespace NoteWindows {

// A window without an owner (the search dialog, the rename dialog, the About
// box) goes above the note while the note is kept above all others, and
// stops being kept above when the note does. Else a window manager opens it
// under the pinned note, which takes no input while a modal one waits.
void keepWithNote(QWidget &window, const QWidget &note);

// Waits until the window manager has shown the window, a few seconds at
// most, so that a message box centred over it finds it where it stands.
// The window may be closed meanwhile; false then, or at the time limit.
bool waitUntilShown(QWidget &window);

} // namespace NoteWindows
