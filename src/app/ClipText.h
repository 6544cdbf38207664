#pragma once
// ClipText: the main window's text area and the one store of the note's text.
//
// Positions are zero-based character indices into the plain text; a line
// break counts as one character and reads as "\n", whichever way it is
// written in the file it came from (the store remembers that, for saving).
// Everything reads back exactly as it was put in.

#include "text/TextView.h"
#include "search/SearchTarget.h"

#include <QColor>
#include <QKeySequence>
#include <QList>
#include <functional>

class ClipText : public TextView, public SearchTarget
{
    Q_OBJECT

public:
    // The most characters an insertion may bring the text to. Whole-text
    // loads are not held to it; an insertion past it fails and changes nothing.
    static constexpr int MaxCharacters = 128 * 1024 * 1024;

    using FindOptions = SearchOptions;

    explicit ClipText(QWidget *parent = nullptr);

    // The whole text; writing it replaces everything that was there.
    QString Text() const;
    // False, with the text as it was, where the new one needs more memory
    // than there is.
    bool setText(const QString &text);
    // A whole text read from a file, taken over as it is.
    void setText(TextStore &&store);

    // The capacity that insertions are held to; MaxCharacters unless changed.
    int maxCharacters() const { return maxLength(); }
    void setMaxCharacters(int count) { setMaxLength(count); }

    // Writing SelStart leaves nothing selected; SelLength counts from SelStart.
    int SelStart() const override { return selectionStart(); }
    void setSelStart(int position) override;
    int SelLength() const override { return selectionEnd() - selectionStart(); }
    void setSelLength(int count);

    // The selected characters; writing replaces the selection, or inserts at
    // the caret, and fails (changing nothing) past maxCharacters().
    QString SelText() const { return selectedText(); }
    bool setSelText(const QString &text) { return insertText(text); }

    // The text colour of the selected characters.
    void setSelColor(const QColor &color) { setSelectionColor(color); }
    // The background and the colour of the text, in one palette change.
    using TextView::setColors;
    // The colour of text that carries no colour of its own (new text).
    QColor ForeColor() const { return textColor(); }
    QColor BackColor() const { return backgroundColor(); }
    void setBackColor(const QColor &color) { setBackgroundColor(color); }

    // Outer size in twips; the left and top edges stay where they are.
    double Width() const;
    void setWidth(double twips);
    double Height() const;
    void setHeight(double twips);

    // Searches forward from start for the first occurrence of text; selects
    // it and returns its position, or returns -1 and leaves the selection.
    int Find(const QString &text, int start, FindOptions options = {}) override;
    // While a file is read in, what acts on the whole text waits for it
    // (editing too); false where it did not come.
    bool waitForWholeText() override { return TextView::waitForWholeText(); }

    // Keys that belong to the window's menu and must not be taken by the
    // text area's own editing (Ctrl+Insert and Shift+Insert would be).
    void setMenuShortcuts(const QList<QKeySequence> &shortcuts) { setReservedShortcuts(shortcuts); }

    // What Ctrl+C (and Cut) and Ctrl+V run: the window's own Copy and Paste,
    // so that the keys and the menu reach the clipboard the same way.
    void setClipboardCommands(std::function<bool()> copySelection, std::function<void()> paste);

public slots:
    void paste() override;

protected:
    bool copyToClipboard() override;
    bool primarySelectionText(QString *text) override;

private:
    bool isWholeWordAt(int position, int length) const;

    std::function<bool()> m_copyCommand;
    std::function<void()> m_pasteCommand;
};
