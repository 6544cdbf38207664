#pragma once
// TextView: a plain-text editor over a TextDocument. It lays out and paints
// only the rows on screen, keeps its place by the text at its top, and offers
// the editing a user expects of any plain-text editor: keys, mouse, the
// clipboard and the X11 primary selection, drops, undo and redo, input
// methods and screen readers.

#include "CaretMoves.h"
#include "ColorRuns.h"
#include "Composition.h"
#include "MouseSelection.h"
#include "TextDocument.h"
#include "TextEditor.h"
#include "TextKeys.h"
#include "TextLayouts.h"
#include "TextCaret.h"
#include "TextPainter.h"
#include "TextViewport.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QKeySequence>
#include <QPointer>

#include <functional>
#include <optional>

class QMimeData;
class QMenu;
class SelectionMimeData;

class TextView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit TextView(QWidget *parent = nullptr);
    ~TextView() override;

    TextDocument &document() { return m_document; }
    const TextDocument &document() const { return m_document; }

    // The whole text. Loading it puts the caret at the start and the view at
    // the top, and starts the undo history afresh. False, with the text as it
    // was, where it needs more memory than there is.
    bool setPlainText(QStringView text);
    void setStore(TextStore &&store);
    // A text read in pieces, shown as it comes (TextDocument::beginRead()):
    // the caret moves and the view scrolls through what has come, and
    // every edit waits for the whole text (setWaitForWholeText()). A second
    // startReading() starts the text again. Kept, what it replaced goes;
    // given up, that comes back, with the caret and the view where they were.
    void startReading(TextStore &&first);
    void continueReading(TextStore &&piece);
    void endReading(bool keep);
    bool isReading() const { return m_document.isReading(); }
    void setWaitForWholeText(std::function<bool()> wait) { m_editor.setWaitForWholeText(std::move(wait)); }
    // Whatever acts on the whole text asks first: true where it is all in.
    bool waitForWholeText() { return m_editor.waitForWholeText(); }

    QString toPlainText() const;
    int length() const { return m_document.length(); }

    // The caret is at position(); the selection runs from anchor() to it.
    int position() const { return m_editor.position(); }
    int anchor() const { return m_editor.anchor(); }
    int selectionStart() const { return m_editor.selectionStart(); }
    int selectionEnd() const { return m_editor.selectionEnd(); }
    bool hasSelection() const { return m_editor.hasSelection(); }
    // Never between the two halves of a character written as a surrogate
    // pair: the selection takes such a character whole.
    void setSelection(int anchor, int position);
    void setPosition(int position) { setSelection(position, position); }
    QString selectedText() const { return m_editor.selectedText(); }
    void selectAll();
    // Replaces the selection, or inserts at the caret, as one step of the
    // history. False, with nothing changed, where it would grow the text
    // past maxLength().
    bool insertText(QStringView text);

    // The most characters the text may grow to by editing. A text loaded
    // whole may be longer: edits that do not lengthen it still go.
    int maxLength() const { return m_editor.maxLength(); }
    void setMaxLength(int length) { m_editor.setMaxLength(length); }

    // Colours belong to the view: they never enter the history.
    QColor backgroundColor() const { return palette().color(QPalette::Base); }
    QColor textColor() const { return palette().color(QPalette::Text); }
    void setColors(const QColor &background, const QColor &text);
    void setBackgroundColor(const QColor &color) { setColors(color, textColor()); }
    // Every character takes the view's text colour; stretches coloured on
    // their own lose their colour.
    void setTextColorOfAll(const QColor &color);
    // The selected characters take color.
    void setSelectionColor(const QColor &color);
    QColor colorAt(int position) const;

    // Keys that belong to the window's own shortcuts: the view leaves them.
    void setReservedShortcuts(const QList<QKeySequence> &shortcuts);
    QList<QKeySequence> reservedShortcuts() const { return m_reserved; }

    void ensureCursorVisible();
    // The position of the first character shown at the top.
    int topPosition();
    // Rows that fit in the view.
    int rowHeight() const { return m_layouts.rowHeight(); }
    // Geometry, in viewport coordinates.
    QRect cursorRect();
    QRect characterRect(int position);
    int positionAt(const QPoint &point);
    // The laid-out form, for whoever needs to know rows.
    TextLayouts &layouts() { return m_layouts; }

    QMenu *createStandardContextMenu();
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    // What an input method is composing at the caret, not yet text.
    QString preeditText() const { return m_composition.text(); }

public slots:
    void undo();
    void redo();
    void copy();
    void cut();
    virtual void paste();
    void deleteSelection();

signals:
    void textChanged();
    void cursorPositionChanged();
    void selectionChanged();

protected:
    // What the clipboard, drops and the primary selection exchange. Plain
    // text only, unless overridden.
    virtual bool canInsertFromMimeData(const QMimeData *source) const;
    virtual void insertFromMimeData(const QMimeData *source);
    virtual QMimeData *createMimeDataFromSelection() const;
    // Puts the selection on the clipboard; false when it could not.
    virtual bool copyToClipboard();
    // The X11 primary selection's text; false when it cannot be had.
    virtual bool primarySelectionText(QString *text);

    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;

private:
    // Editing: what the editor did is shown, or, where the text would not fit, beeped.
    void run(const KeyCommand &command);
    bool edited(bool done);
    void setCaret(const MouseSelection::Ends &ends) { m_editor.setCaret(ends.first, ends.second); }
    void caretChanged(int oldStart, int oldEnd, bool moved);
    void repaintSelectionChange(int oldStart, int oldEnd);

    // Following the document.
    void documentAboutToChange(const TextChange &change);
    void documentChanged(const TextChange &change);
    void documentAboutToReset();
    void documentReset();
    // What an input method composes is shown anew where it changed.
    void compositionChanged(int was, int now);
    void tellInputMethodWhereTheCaretIs();

    // Place and painting.
    void scrollRows(int rows);
    void viewMoved(bool moved);
    void updateScrollBar();
    void relayout();
    void updateCaret();
    void updateRows(int fromLine, bool toBottom);
    TextPaintOptions paintOptions() const;
    int caretWidth() const;

    // Clipboard and selection.
    void publishPrimarySelection();
    bool keyIsReserved(const QKeyEvent *key) const;

    TextDocument m_document;
    TextLayouts m_layouts;
    TextPainter m_painter;
    TextViewport m_viewport;
    TextEditor m_editor;
    ColorRuns m_colors;
    Composition m_composition;
    bool m_settingScrollBar = false;
    QList<QKeySequence> m_reserved;

    TextCaret m_caret;

    MouseSelection m_mouse;
    QBasicTimer m_autoScroll;
    QPoint m_lastMouse;
    int m_dropPosition = -1;

    QPointer<SelectionMimeData> m_primary;

    // Where the caret and the view were before a text was read in.
    struct Place
    {
        int anchor = 0;
        int position = 0;
        int top = 0;
    };
    std::optional<Place> m_placeBeforeReading;
};
