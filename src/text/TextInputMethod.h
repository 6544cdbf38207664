#pragma once
// What passes between the text and an input method: its events, which type
// text in (in place of a stretch around the caret, as a correction does),
// compose text not yet typed, or select; and its questions about the text
// around the caret. Where things are on screen the view answers itself.

#include <QVariant>

class Composition;
class QInputMethodEvent;
class TextEditor;

namespace TextInputMethod {

// Carries out the event. False where the text it typed would not fit.
bool apply(const QInputMethodEvent &event, TextEditor &editor, Composition &composition);

// The answer about the text, or an invalid QVariant for a question this
// does not answer.
QVariant query(Qt::InputMethodQuery query, const TextEditor &editor);

} // namespace TextInputMethod
