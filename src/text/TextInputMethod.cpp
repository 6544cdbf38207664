#include "TextInputMethod.h"

#include "Composition.h"
#include "TextBoundaries.h"
#include "TextEditor.h"

#include <QInputMethodEvent>
#include <QTextCharFormat>

namespace TextInputMethod {

bool apply(const QInputMethodEvent &event, TextEditor &editor, Composition &composition)
{
    // What was being composed goes; the event says what is composed now.
    composition.end();

    // What is committed goes in as typed, in place of the selection or of
    // the stretch around the caret the event names, whole characters only:
    // each commit a step of undo of its own (a word of a script written
    // without blanks, a syllable, a letter made with a dead key).
    bool fitted = true;
    if (!event.commitString().isEmpty() || event.replacementLength() > 0) {
        if (event.replacementLength() > 0) {
            const int from = editor.position() + event.replacementStart();
            editor.select(from, from + event.replacementLength());
        }
        fitted = editor.replaceSelection(event.commitString(), TextDocument::EditKind::Committed);
    }

    const QString text = event.preeditString();
    QList<QTextLayout::FormatRange> formats;
    int cursor = int(text.size());
    for (const QInputMethodEvent::Attribute &attribute : event.attributes()) {
        if (attribute.type == QInputMethodEvent::Cursor) {
            cursor = attribute.start;
        } else if (attribute.type == QInputMethodEvent::TextFormat) {
            const QTextCharFormat format = qvariant_cast<QTextFormat>(attribute.value).toCharFormat();
            if (format.isValid())
                formats.append({attribute.start, attribute.length, format});
        } else if (attribute.type == QInputMethodEvent::Selection && text.isEmpty()) {
            editor.select(attribute.start, attribute.start + attribute.length);
        }
    }
    if (!text.isEmpty()) {
        editor.deleteSelection();
        composition.show(editor.position(), text, cursor, formats);
    }
    return fitted;
}

QVariant query(Qt::InputMethodQuery query, const TextEditor &editor)
{
    const TextStore &store = editor.document().store();
    const int position = editor.position();
    // Around the caret, within its line and not too far.
    const int line = store.lineOf(position);
    const int from = qMax(store.lineStart(line), position - 1024);
    const int to = qMin(store.lineEnd(line), position + 1024);
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorPosition:
        return position - from;
    case Qt::ImAnchorPosition:
        return qBound(from, editor.anchor(), to) - from;
    case Qt::ImSurroundingText:
        return store.text(from, to - from);
    case Qt::ImCurrentSelection:
        return editor.selectedText();
    case Qt::ImMaximumTextLength:
        return QVariant(); // no limit of its own
    case Qt::ImAbsolutePosition:
        return position;
    case Qt::ImTextBeforeCursor:
        return store.text(from, position - from);
    case Qt::ImTextAfterCursor:
        return store.text(position, to - position);
    case Qt::ImHints:
        return int(Qt::ImhMultiLine);
    case Qt::ImReadOnly:
        return false;
    default:
        return QVariant();
    }
}

} // namespace TextInputMethod
