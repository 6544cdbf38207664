#include "TextEditor.h"

#include "TextBoundaries.h"
#include "TextLayouts.h"

#include <QElapsedTimer>

#include <memory>
#include <new>

TextEditor::TextEditor(TextDocument &document, TextLayouts &layouts)
    : m_document(document)
    , m_layouts(layouts)
{
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    m_clock = [started] { return started->elapsed(); };
}

QString TextEditor::selectedText() const
{
    return m_document.text(selectionStart(), selectionEnd() - selectionStart());
}

void TextEditor::setCaret(int anchor, int position, qreal desiredX)
{
    const int length = m_document.length();
    const int oldStart = selectionStart();
    const int oldEnd = selectionEnd();
    const int oldPosition = m_caret.position;
    m_caret = {qBound(0, anchor, length), qBound(0, position, length), desiredX};
    if (m_changed)
        m_changed(oldStart, oldEnd, m_caret.position != oldPosition);
}

void TextEditor::select(int anchor, int position)
{
    const TextStore &store = m_document.store();
    // A caret goes to the start of the character it is in; a selection
    // grows to take whole characters.
    if (anchor == position) {
        anchor = position = TextBoundaries::codePointStart(store, position);
    } else if (anchor < position) {
        anchor = TextBoundaries::codePointStart(store, anchor);
        position = TextBoundaries::codePointEnd(store, position);
    } else {
        anchor = TextBoundaries::codePointEnd(store, anchor);
        position = TextBoundaries::codePointStart(store, position);
    }
    setCaret(anchor, position);
}

bool TextEditor::waitForWholeText()
{
    if (!m_document.isReading())
        return true;
    return m_waitForWholeText && m_waitForWholeText() && !m_document.isReading();
}

bool TextEditor::edit(int position, int count, QStringView text, TextDocument::EditKind kind)
{
    if (!waitForWholeText())
        return false;
    const int length = m_document.length();
    // Past the capacity the text may not grow, but it may always shrink.
    if (text.size() > count && qint64(length) - count + text.size() > m_maxLength)
        return false;
    position = qBound(0, position, length);
    count = qBound(0, count, length - position);
    if (kind == TextDocument::EditKind::Typing) {
        const qint64 now = m_clock();
        if (m_lastTyped >= 0 && now - m_lastTyped > TypingPauseMs)
            m_document.closeUndoGroup();
        m_lastTyped = now;
    }
    try {
        m_document.replace(position, count, text, kind, {m_caret.anchor, m_caret.position});
    } catch (const std::bad_alloc &) {
        return false; // not made: the text is as it was
    }
    // The caret goes after what came in: the text as stored, breaks as one.
    int stored = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!(text[i] == u'\n' && i > 0 && text[i - 1] == u'\r'))
            ++stored;
    }
    setCaret(position + stored, position + stored);
    return true;
}

bool TextEditor::replaceSelection(QStringView text, TextDocument::EditKind kind)
{
    if (!waitForWholeText())
        return false;
    return edit(selectionStart(), selectionEnd() - selectionStart(), text, kind);
}

void TextEditor::deleteSelection()
{
    if (hasSelection())
        replaceSelection({}, TextDocument::EditKind::Other);
}

void TextEditor::deleteBackward(bool word)
{
    if (!waitForWholeText())
        return;
    if (hasSelection()) {
        deleteSelection();
        return;
    }
    const TextStore &store = m_document.store();
    const int at = position();
    const int from = word ? TextBoundaries::previousWordStart(store, at) : TextBoundaries::previousCharacter(store, at);
    if (from < at)
        edit(from, at - from, {}, TextDocument::EditKind::Deleting);
}

void TextEditor::deleteForward(bool word)
{
    if (!waitForWholeText())
        return;
    if (hasSelection()) {
        deleteSelection();
        return;
    }
    const TextStore &store = m_document.store();
    const int at = position();
    const int to = word ? TextBoundaries::nextWordStart(store, at) : TextBoundaries::nextCharacter(store, at);
    if (to > at)
        edit(at, to - at, {}, TextDocument::EditKind::Deleting);
}

void TextEditor::undo()
{
    if (!m_document.isUndoAvailable())
        return;
    const TextDocument::Selection s = m_document.undo();
    setCaret(s.anchor, s.position);
}

void TextEditor::redo()
{
    if (!m_document.isRedoAvailable())
        return;
    const TextDocument::Selection s = m_document.redo();
    setCaret(s.anchor, s.position);
}

int TextEditor::move(TextCommand command, bool select, int pageRows)
{
    m_document.closeUndoGroup();
    int scrolled = 0;
    const CaretMoves::Caret moved = CaretMoves::move(m_layouts, m_caret, command, select, pageRows, &scrolled);
    setCaret(moved.anchor, moved.position, moved.desiredX);
    return scrolled;
}

void TextEditor::follow(const TextChange &change)
{
    m_caret.anchor = change.map(m_caret.anchor, OnInsert::Stay);
    m_caret.position = change.map(m_caret.position, OnInsert::Stay);
}
