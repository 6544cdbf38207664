#pragma once
// The control that has the keyboard focus in the program's active window, and
// its selected text. Every kind of Qt widget that carries a text selection
// takes part: line edits, editable combo boxes, spin boxes, plain and rich
// text edits, and the text engine's views (the note's text area among them).

#include <QString>

class QWidget;

namespace ActiveControl {

// The focused control of the active window; null when there is none.
QWidget *current();

// False when there is no active control or it carries no selection.
bool readSelText(QString *text);
// Replaces the selection, or inserts at the caret.
bool writeSelText(const QString &text);

bool readSelText(QWidget *control, QString *text);
bool writeSelText(QWidget *control, const QString &text);

} // namespace ActiveControl
