#pragma once
// What every window of the program may need to know of the program itself:
// its title (the title of every message box that gives none) and which
// window is the note. Start-up sets both; nothing of either is kept after
// the run.

#include "system/SystemServices.h"

#include <QString>

class QWidget;

namespace Program {

QString title();
void setTitle(const QString &title);

// The note window, or null while there is none.
QWidget *noteWindow();
void setNoteWindow(QWidget *window);

// The system's message box over the note, under the program's title where
// title is empty.
void showMessage(const QString &text, const QString &title = QString(),
                 sys::MessageIcon icon = sys::MessageIcon::None);

} // namespace Program
