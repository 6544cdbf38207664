#pragma once
// A text being edited: the store, the history of edits for undo and redo, and
// the notices a view needs to follow each change.

#include "TextChange.h"
#include "TextStore.h"

#include <QObject>
#include <memory>
#include <optional>
#include <vector>

class TextDocument : public QObject
{
    Q_OBJECT

public:
    // How an edit groups with the one before it in the history.
    enum class EditKind {
        Other,     // a step of its own
        Typing,    // typed characters join into stretches, each ending after blanks
        Deleting,  // Backspace and Delete join while they go on
        Committed, // what an input method hands over: a step of its own, as a word typed
    };
    struct Selection
    {
        int anchor = 0;
        int position = 0;
    };

    explicit TextDocument(QObject *parent = nullptr);

    const TextStore &store() const { return m_store; }
    int length() const { return m_store.length(); }
    QString text(int from, int count) const { return m_store.text(from, count); }

    // Whole-text loads: breaks stay as written, the history starts afresh.
    void setText(QStringView text);
    void setStore(TextStore &&store);

    // The break that typed and pasted line breaks become: the text's own
    // kind, except where it would run into the break before or after it (an
    // LF right after a CR would be read back as one CRLF).
    LineBreak newLineBreak() const { return m_newLineBreak; }
    void setNewLineBreak(LineBreak lineBreak) { m_newLineBreak = lineBreak; }

    // A text read in pieces, shown as it comes: the first piece takes the
    // place of the text (a second beginRead() starts it again), the others
    // follow it, none of them a step of the history. What it replaces, the
    // history with it, is kept until endRead(): put back unless kept.
    void beginRead(TextStore &&first);
    void appendRead(TextStore &&piece);
    void endRead(bool keep);
    bool isReading() const { return bool(m_replaced); }

    // Replaces count characters at position with text (its breaks in any
    // spelling); `before` is the selection to restore on undo.
    void replace(int position, int count, QStringView text, EditKind kind, Selection before);

    bool isUndoAvailable() const { return m_done > 0; }
    bool isRedoAvailable() const { return m_done < m_steps.size(); }
    // Undo and redo give back the selection that goes with the text they leave.
    Selection undo();
    Selection redo();
    // The next edit starts a step of its own.
    void closeUndoGroup();

    // Grows with every change, so a stale copy can tell.
    quint64 revision() const { return m_revision; }

signals:
    void aboutToChange(const TextChange &change);
    void changed(const TextChange &change);
    // The whole text is about to be replaced, and has been.
    void aboutToReset();
    void reset();
    void undoAvailable(bool available);
    void redoAvailable(bool available);

private:
    struct Step
    {
        int position = 0;
        TextSpan removed;
        TextSpan inserted;
        Selection before;
        EditKind kind = EditKind::Other;
        bool open = true;
    };
    // The last step that is done, joined with the edit where the edit
    // continues it; none otherwise.
    std::optional<Step> mergedWithLast(int position, int count, const TextSpan &removed, const TextSpan &inserted,
                                       EditKind kind) const;
    // Changes the text whole, or throws std::bad_alloc having changed nothing.
    void apply(int position, int count, const TextSpan &inserted);
    // The breaks of text going in at position in place of count characters,
    // as they must be written to be read back as the same lines.
    void fitBreaksToNeighbours(int position, int count, TextSpan &inserted) const;
    void notifyHistory(bool hadUndo, bool hadRedo);

    // What a text being read replaced.
    struct Replaced
    {
        TextStore store;
        std::vector<Step> steps;
        size_t done = 0;
    };
    // Puts store and its history in place of the text; what was there goes
    // to *was where it is asked for.
    void putInPlace(TextStore &&store, std::vector<Step> &&steps, size_t done, Replaced *was = nullptr);

    TextStore m_store;
    std::unique_ptr<Replaced> m_replaced;
    std::vector<Step> m_steps;
    size_t m_done = 0;
    quint64 m_revision = 0;
    LineBreak m_newLineBreak = LineBreak::LF;
};
