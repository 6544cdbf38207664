#pragma once
// ClipText: the main window's text area and the one store of the note's text.
//
// Positions are zero-based character indices into the plain text; a line
// break counts as one character and reads as "\n". Everything reads back
// exactly as it was put in (no-break spaces stay no-break spaces).

#include <QColor>
#include <QKeySequence>
#include <QList>
#include <QPlainTextEdit>

struct ClipTextFindOptions
{
    bool caseSensitive = false;
    bool wholeWord = false; // no letter, digit or underscore right before or after
};

class ClipText : public QPlainTextEdit
{
    Q_OBJECT

public:
    // The most characters an insertion may bring the text to. Whole-text
    // loads are not held to it; an insertion past it fails and changes nothing.
    static constexpr int MaxCharacters = 128 * 1024 * 1024;

    using FindOptions = ClipTextFindOptions;

    explicit ClipText(QWidget *parent = nullptr);

    // The whole text; writing it replaces everything that was there.
    QString Text() const;
    void setText(const QString &text);
    int length() const;

    // The capacity that insertions are held to; MaxCharacters unless changed.
    int maxCharacters() const { return m_maxCharacters; }
    void setMaxCharacters(int count) { m_maxCharacters = count; }

    // Writing SelStart leaves nothing selected; SelLength counts from SelStart.
    int SelStart() const;
    void setSelStart(int position);
    int SelLength() const;
    void setSelLength(int count);

    // The selected characters; writing replaces the selection, or inserts at
    // the caret, and fails (changing nothing) past maxCharacters().
    QString SelText() const;
    bool setSelText(const QString &text);

    // The text colour of the selected characters.
    void setSelColor(const QColor &color);
    // The text colour of every character, in one merge over the whole text;
    // the selection, the caret and the view stay as they are.
    void setTextColorOfAll(const QColor &color);
    // The background and the colour of new text, in one palette change.
    void setColors(const QColor &background, const QColor &text);
    // The colour of text that carries no colour of its own (new text).
    QColor ForeColor() const;
    QColor BackColor() const;
    void setBackColor(const QColor &color);

    // Outer size in twips; the left and top edges stay where they are.
    double Width() const;
    void setWidth(double twips);
    double Height() const;
    void setHeight(double twips);

    // Searches forward from start for the first occurrence of text; selects
    // it and returns its position, or returns -1 and leaves the selection.
    int Find(const QString &text, int start, FindOptions options = {});

    // Text taken from a QTextDocument, with "\n" where the document separates
    // its blocks (U+2029).
    static QString fromDocumentText(QString text);

    // Keys that belong to the window's menu and must not be taken by the
    // text area's own editing (Ctrl+Insert and Shift+Insert would be).
    void setMenuShortcuts(const QList<QKeySequence> &shortcuts);

protected:
    bool event(QEvent *event) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    QMimeData *createMimeDataFromSelection() const override;

private:
    bool isWholeWordAt(int position, int length) const;
    QList<QKeySequence> m_menuShortcuts;
    int m_maxCharacters = MaxCharacters;
};
