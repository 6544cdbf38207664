#pragma once
// Editing a document as a user does, apart from any widget: the caret and
// the selection, typing and deleting by whole characters and words, a
// capacity the text may not grow past, undo and redo, and the caret's moves.
// The view shows what it does: it is told after each change of the caret or
// the selection, and scrolls where an edit or a move asks it to.

#include "CaretMoves.h"
#include "TextDocument.h"

#include <functional>

class TextLayouts;

class TextEditor
{
public:
    TextEditor(TextDocument &document, TextLayouts &layouts);

    const TextDocument &document() const { return m_document; }

    const CaretMoves::Caret &caret() const { return m_caret; }
    int position() const { return m_caret.position; }
    int anchor() const { return m_caret.anchor; }
    int selectionStart() const { return qMin(m_caret.anchor, m_caret.position); }
    int selectionEnd() const { return qMax(m_caret.anchor, m_caret.position); }
    bool hasSelection() const { return m_caret.anchor != m_caret.position; }
    QString selectedText() const;

    // Puts the caret at position, the selection running from anchor; both
    // are bounded to the text. desiredX: the x kept for moves up and down.
    void setCaret(int anchor, int position, qreal desiredX = -1);
    // The same, but never between the two halves of a character written as
    // a surrogate pair: the selection takes such a character whole.
    void select(int anchor, int position);

    // Replaces count characters at position with text, as one step of the
    // history (kind says how it joins the step before); the caret goes
    // after it. False, with nothing changed, where it would grow the text
    // past maxLength() or needs more memory than there is.
    bool edit(int position, int count, QStringView text, TextDocument::EditKind kind);
    bool replaceSelection(QStringView text, TextDocument::EditKind kind);
    void deleteSelection();
    // Backspace and Delete: the selection, else a character or a word.
    void deleteBackward(bool word);
    void deleteForward(bool word);
    void undo();
    void redo();
    // A caret move; for a page move, the rows the view scrolls by.
    int move(TextCommand command, bool select, int pageRows);

    // Typing after a pause this long starts a new step of undo, so that text
    // in a script without blanks is not undone a whole sentence at a time.
    static constexpr qint64 TypingPauseMs = 1000;
    // Where the time comes from, in milliseconds (tests set their own).
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

    // While a text is read in (TextDocument::beginRead()), no edit may act on
    // the part read so far: each asks this to wait until the whole text is
    // in, and goes on only where it says it is. None set: edits are refused
    // until then.
    void setWaitForWholeText(std::function<bool()> wait) { m_waitForWholeText = std::move(wait); }
    // True at once where no text is being read in; else waits as set.
    bool waitForWholeText();

    int maxLength() const { return m_maxLength; }
    void setMaxLength(int length) { m_maxLength = length; }

    // The caret follows each change of the text, and goes to the start of
    // a whole new one.
    void follow(const TextChange &change);
    void reset() { m_caret = {}; }

    // Told after the caret or the selection changed: what was selected
    // before, and whether the caret itself moved.
    void onCaretChanged(std::function<void(int oldStart, int oldEnd, bool moved)> changed)
    {
        m_changed = std::move(changed);
    }

private:
    TextDocument &m_document;
    TextLayouts &m_layouts;
    CaretMoves::Caret m_caret;
    int m_maxLength = 0x7FFFFFFE;
    std::function<void(int, int, bool)> m_changed;
    std::function<qint64()> m_clock;
    std::function<bool()> m_waitForWholeText;
    qint64 m_lastTyped = -1; // when the last character was typed
};
