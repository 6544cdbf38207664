#pragma once
// Start-up and the program-wide shared state: the variables that more than one
// command reads or writes, and the one instance of each window.

#include "NoteFile.h"
#include "system/SystemServices.h"
#include "ui/Caption.h"

#include <QString>
#include <optional>

class QTime;
class frm_Quillpad;
class frm_search;

namespace Module1 {

// Every caption of the main window is a subject followed by this.
inline const QString CaptionSuffix = Caption::Suffix;
inline const QString DesignCaption = QStringLiteral("Quillpad 1.0.11");
inline const QString ProgramName = QStringLiteral("Quillpad");
// Where the file dialogs start after a clipboard start: the folder tamsine at
// the root of the current drive.
inline const QString ClipboardStartFolder = QStringLiteral("\\tamsine");

// The note's file: clip_file_name, clip_init_dir and the text's format.
NoteFile &noteFile();

// The running program's title, and the title of every message box that gives none.
QString applicationTitle();
void setApplicationTitle(const QString &title);

// The start-up procedure: shows the main window, fills it from the file named
// by commandLine or, when that is empty, from the clipboard, and captions it.
void Main(const QString &commandLine);

// The command-line text: the arguments after the program's name, joined by
// blanks, each held without loss whatever its bytes (FileNames).
QString commandLineFrom(int argc, char **argv);

// The caption subject for a snapshot taken at time: hh:mm:ss on the 24-hour clock.
QString timeSubject(const QTime &time);

// The window instances; null while not loaded.
frm_Quillpad *mainWindow();
frm_search *searchDialog();
// The search dialog, loaded (hidden) first where it is not.
frm_search &loadedSearchDialog();
// The search dialog's close box unloads it.
void forgetSearchDialog();

// Ends the program at once: every window goes, nothing is asked or saved.
void End();
// Whether End() ran since the last Main(): the note was closed, perhaps
// while start-up still waited for its file or the clipboard.
bool hasEnded();

// A message box over the main window; an empty title means the application title.
void MsgBox(const QString &text, const QString &title = QString(),
            sys::MessageIcon icon = sys::MessageIcon::None);

} // namespace Module1
