#pragma once
// TextView: a plain-text editor over a TextDocument. It lays out and paints
// only the rows on screen, keeps its place by the text at its top, and offers
// the editing a user expects of any plain-text editor: keys, mouse, the
// clipboard and the X11 primary selection, drops, undo and redo, input
// methods and screen readers.

#include "ColorRuns.h"
#include "TextDocument.h"
#include "TextKeys.h"
#include "TextLayouts.h"
#include "TextPainter.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QKeySequence>
#include <QPointer>

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
    // the top, and starts the undo history afresh.
    void setPlainText(QStringView text);
    void setStore(TextStore &&store);
    QString toPlainText() const;
    int length() const { return m_document.length(); }

    // The caret is at position(); the selection runs from anchor() to it.
    int position() const { return m_position; }
    int anchor() const { return m_anchor; }
    int selectionStart() const { return qMin(m_anchor, m_position); }
    int selectionEnd() const { return qMax(m_anchor, m_position); }
    bool hasSelection() const { return m_anchor != m_position; }
    void setSelection(int anchor, int position);
    void setPosition(int position) { setSelection(position, position); }
    QString selectedText() const;
    void selectAll();
    // Replaces the selection, or inserts at the caret, as one step of the
    // history. False, with nothing changed, where it would grow the text
    // past maxLength().
    bool insertText(QStringView text);

    // The most characters the text may grow to by editing. A text loaded
    // whole may be longer: edits that do not lengthen it still go.
    int maxLength() const { return m_maxLength; }
    void setMaxLength(int length) { m_maxLength = length; }

    // Colours belong to the view: they never enter the history.
    QColor backgroundColor() const;
    QColor textColor() const;
    void setColors(const QColor &background, const QColor &text);
    void setBackgroundColor(const QColor &color);
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
    int visibleRows() const;
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
    QString preeditText() const { return m_preedit; }

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
    enum class Unit { Character, Word, Line };

    // Editing.
    void run(const KeyCommand &command);
    bool edit(int position, int count, QStringView text, TextDocument::EditKind kind);
    void typeText(QStringView text);
    void deleteBackward(bool word);
    void deleteForward(bool word);
    void moveCursor(TextCommand move, bool select);
    int rowEndForCaret(const RowRef &row);
    void setCaret(int anchor, int position, bool keepColumn = false);
    // From the unit the mouse selection began with to the one at `to`.
    void selectTo(int to);

    // Following the document.
    void documentAboutToChange(const TextChange &change);
    void documentChanged(const TextChange &change);
    void documentAboutToReset();
    void documentReset();
    // What an input method is composing goes: before the view's own edit
    // for it (clear), or after a change from elsewhere, which the input
    // method is then told of (drop).
    void clearPreedit();
    void dropPreedit();

    // Place and painting.
    RowRef topRow();
    void setTop(const RowRef &row);
    void scrollRows(int rows);
    void clampTop();
    void scrollToEnd();
    void updateScrollBar();
    void relayout();
    std::optional<int> rowY(const RowRef &row);
    void updateCaret();
    void restartBlinking();
    void updateRows(int fromLine, bool toBottom);
    TextPaintOptions paintOptions() const;
    int caretWidth() const;

    // Clipboard and selection.
    void publishPrimarySelection();
    bool keyIsReserved(const QKeyEvent *key) const;
    void notifyAccessibleCursor();

    TextDocument m_document;
    TextLayouts m_layouts;
    TextPainter m_painter;
    ColorRuns m_colors;
    int m_position = 0;
    int m_anchor = 0;
    int m_maxLength = 0x7FFFFFFE;
    qreal m_desiredX = -1;
    int m_top = 0; // first character of the top row
    bool m_settingScrollBar = false;
    QList<QKeySequence> m_reserved;

    QBasicTimer m_blink;
    bool m_caretOn = true;
    QRect m_caretRect;

    // Selecting with the mouse.
    bool m_selecting = false;
    Unit m_selectUnit = Unit::Character;
    std::pair<int, int> m_selectOrigin; // the unit the selection started with
    QBasicTimer m_autoScroll;
    QPoint m_lastMouse;
    QBasicTimer m_tripleClick;
    QPoint m_doubleClickAt;
    int m_dropPosition = -1;

    // Input method composition.
    QString m_preedit;
    int m_preeditCursor = 0;

    QPointer<SelectionMimeData> m_primary;
};
