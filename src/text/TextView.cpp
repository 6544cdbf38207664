#include "TextView.h"

#include "SelectionMimeData.h"
#include "TextBoundaries.h"
#include "TextViewAccessible.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleHints>

#include <cmath>

namespace {

constexpr int LeftMargin = 4;
constexpr int RightMargin = 4;
constexpr int TopMargin = 2;

} // namespace

TextView::TextView(QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_layouts(m_document)
    , m_painter(m_layouts)
{
    TextViewAccessible::install();
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setAcceptDrops(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setBackgroundRole(QPalette::Base);

    connect(&m_document, &TextDocument::aboutToChange, this, &TextView::documentAboutToChange);
    connect(&m_document, &TextDocument::changed, this, &TextView::documentChanged);
    connect(&m_document, &TextDocument::aboutToReset, this, &TextView::documentAboutToReset);
    connect(&m_document, &TextDocument::reset, this, &TextView::documentReset);
    connect(verticalScrollBar(), &QScrollBar::sliderReleased, this, &TextView::updateScrollBar);
    relayout();
}

TextView::~TextView()
{
    if (m_primary)
        m_primary->freeze();
}

// ---- the text ------------------------------------------------------------------

void TextView::setPlainText(QStringView text)
{
    m_document.setText(text);
}

void TextView::setStore(TextStore &&store)
{
    m_document.setStore(std::move(store));
}

QString TextView::toPlainText() const
{
    return m_document.text(0, length());
}

QString TextView::selectedText() const
{
    return m_document.text(selectionStart(), selectionEnd() - selectionStart());
}

void TextView::setSelection(int anchor, int position)
{
    setCaret(qBound(0, anchor, length()), qBound(0, position, length()));
}

void TextView::selectAll()
{
    setCaret(0, length());
    publishPrimarySelection();
}

bool TextView::insertText(QStringView text)
{
    return edit(selectionStart(), selectionEnd() - selectionStart(), text,
                TextDocument::EditKind::Other);
}

void TextView::deleteSelection()
{
    if (hasSelection())
        edit(selectionStart(), selectionEnd() - selectionStart(), {}, TextDocument::EditKind::Other);
}

bool TextView::edit(int position, int count, QStringView text, TextDocument::EditKind kind)
{
    // Past the capacity the text may not grow, but it may always shrink.
    if (text.size() > count && qint64(length()) - count + text.size() > m_maxLength)
        return false;
    position = qBound(0, position, length());
    count = qBound(0, count, length() - position);
    const TextDocument::Selection before{m_anchor, m_position};
    m_document.replace(position, count, text, kind, before);
    // The caret goes after what came in: the text as stored, breaks as one.
    int stored = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!(text[i] == u'\n' && i > 0 && text[i - 1] == u'\r'))
            ++stored;
    }
    setCaret(position + stored, position + stored);
    ensureCursorVisible();
    return true;
}

void TextView::typeText(QStringView text)
{
    if (!edit(selectionStart(), selectionEnd() - selectionStart(), text, TextDocument::EditKind::Typing))
        QApplication::beep();
}

void TextView::deleteBackward(bool word)
{
    if (hasSelection()) {
        deleteSelection();
        return;
    }
    const TextStore &store = m_document.store();
    const int from = word ? TextBoundaries::previousWordStart(store, m_position)
                          : TextBoundaries::previousCharacter(store, m_position);
    if (from < m_position)
        edit(from, m_position - from, {}, TextDocument::EditKind::Deleting);
}

void TextView::deleteForward(bool word)
{
    if (hasSelection()) {
        deleteSelection();
        return;
    }
    const TextStore &store = m_document.store();
    const int to = word ? TextBoundaries::nextWordStart(store, m_position)
                        : TextBoundaries::nextCharacter(store, m_position);
    if (to > m_position)
        edit(m_position, to - m_position, {}, TextDocument::EditKind::Deleting);
}

void TextView::undo()
{
    if (!m_document.isUndoAvailable())
        return;
    const TextDocument::Selection s = m_document.undo();
    setCaret(s.anchor, s.position);
    ensureCursorVisible();
}

void TextView::redo()
{
    if (!m_document.isRedoAvailable())
        return;
    const TextDocument::Selection s = m_document.redo();
    setCaret(s.anchor, s.position);
    ensureCursorVisible();
}

// ---- moving through the text -----------------------------------------------------

int TextView::rowEndForCaret(const RowRef &row)
{
    // The end of a row that wraps is also the start of the next row: the
    // caret stays on this row just before it.
    const int end = m_layouts.rowEnd(row);
    if (m_layouts.isLastRowOfLine(row))
        return end;
    return qMax(m_layouts.rowStart(row), TextBoundaries::previousCharacter(m_document.store(), end));
}

void TextView::moveCursor(TextCommand move, bool select)
{
    m_document.closeUndoGroup();
    const TextStore &store = m_document.store();
    int position = m_position;
    bool keepColumn = false;
    switch (move) {
    case TextCommand::NextCharacter:
        position = hasSelection() && !select ? selectionEnd() : TextBoundaries::nextCharacter(store, m_position);
        break;
    case TextCommand::PreviousCharacter:
        position = hasSelection() && !select ? selectionStart()
                                             : TextBoundaries::previousCharacter(store, m_position);
        break;
    case TextCommand::NextWord:
        position = TextBoundaries::nextWordStart(store, m_position);
        break;
    case TextCommand::PreviousWord:
        position = TextBoundaries::previousWordStart(store, m_position);
        break;
    case TextCommand::RowStart:
        position = m_layouts.rowStart(m_layouts.rowOf(m_position));
        break;
    case TextCommand::RowEnd:
        position = rowEndForCaret(m_layouts.rowOf(m_position));
        break;
    case TextCommand::Start:
        position = 0;
        break;
    case TextCommand::End:
        position = length();
        break;
    case TextCommand::Down:
    case TextCommand::Up:
    case TextCommand::PageDown:
    case TextCommand::PageUp: {
        const bool down = move == TextCommand::Down || move == TextCommand::PageDown;
        const bool page = move == TextCommand::PageDown || move == TextCommand::PageUp;
        const int steps = page ? qMax(1, visibleRows() - 1) : 1;
        if (m_desiredX < 0)
            m_desiredX = m_layouts.xOf(m_position);
        RowRef row = m_layouts.rowOf(m_position);
        int moved = 0;
        while (moved < steps && (down ? m_layouts.next(row) : m_layouts.previous(row)))
            ++moved;
        if ((moved < steps && !page) || moved == 0) {
            position = down ? length() : 0;
        } else {
            position = m_layouts.positionAtX(row, m_desiredX);
            if (!m_layouts.isLastRowOfLine(row) && position >= m_layouts.rowEnd(row))
                position = rowEndForCaret(row);
            keepColumn = true;
        }
        if (page)
            scrollRows(down ? moved : -moved);
        break;
    }
    default:
        return;
    }
    setCaret(select ? m_anchor : position, position, keepColumn);
    ensureCursorVisible();
    if (select)
        publishPrimarySelection();
}

void TextView::run(const KeyCommand &key)
{
    switch (key.command) {
    case TextCommand::SelectAll: selectAll(); break;
    case TextCommand::Undo: undo(); break;
    case TextCommand::Redo: redo(); break;
    case TextCommand::Copy: copy(); break;
    case TextCommand::Cut: cut(); break;
    case TextCommand::Paste: paste(); break;
    case TextCommand::DeleteNextCharacter: deleteForward(false); break;
    case TextCommand::DeletePreviousCharacter: deleteBackward(false); break;
    case TextCommand::DeleteNextWord: deleteForward(true); break;
    case TextCommand::DeletePreviousWord: deleteBackward(true); break;
    case TextCommand::InsertLineBreak: typeText(u"\n"); break;
    case TextCommand::InsertTab: typeText(u"\t"); break;
    case TextCommand::InsertText: typeText(key.text); break;
    default: moveCursor(key.command, key.select); break;
    }
}

void TextView::setCaret(int anchor, int position, bool keepColumn)
{
    anchor = qBound(0, anchor, length());
    position = qBound(0, position, length());
    if (!keepColumn)
        m_desiredX = -1;
    const bool moved = position != m_position;
    const bool selectionWas = hasSelection();
    const int oldStart = selectionStart();
    const int oldEnd = selectionEnd();
    m_anchor = anchor;
    m_position = position;
    if (hasSelection() || selectionWas) {
        if (oldStart != selectionStart() || oldEnd != selectionEnd()) {
            // Repaint what was selected and what is now, all rows between.
            const int from = qMin(oldStart, selectionStart());
            const int to = qMax(oldEnd, selectionEnd());
            const int firstLine = m_document.store().lineOf(from);
            const int lastLine = m_document.store().lineOf(to);
            updateRows(firstLine, false);
            if (lastLine != firstLine) {
                // Anything from the first row to the last may be on screen.
                const std::optional<int> top = rowY(m_layouts.rowOf(from));
                viewport()->update(QRect(0, top.value_or(0), viewport()->width(), viewport()->height()));
            }
            emit selectionChanged();
            if (QAccessible::isActive()) {
                QAccessibleTextSelectionEvent event(this, selectionStart(), selectionEnd());
                QAccessible::updateAccessibility(&event);
            }
        }
    }
    restartBlinking();
    updateCaret();
    if (moved) {
        emit cursorPositionChanged();
        notifyAccessibleCursor();
    }
    if (hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImQueryInput);
}

void TextView::notifyAccessibleCursor()
{
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent event(this, m_position);
        QAccessible::updateAccessibility(&event);
    }
}

// ---- following the document -------------------------------------------------------

void TextView::documentAboutToChange(const TextChange &change)
{
    // The primary selection keeps what was selected.
    if (m_primary)
        m_primary->freeze();
    // Text composed by an input method stands at the caret in the text it
    // was begun in; a change from elsewhere ends it (the view's own edits
    // for the input method come after it has cleared it).
    if (!m_preedit.isEmpty())
        m_layouts.setPreedit(-1, QString(), 0, {});
    if (QAccessible::isActive() && change.removed > 0) {
        QAccessibleTextRemoveEvent event(this, change.position,
                                         m_document.text(change.position, change.removed));
        QAccessible::updateAccessibility(&event);
    }
}

void TextView::documentChanged(const TextChange &change)
{
    const int rowsBefore = m_layouts.rowMap().rows(change.line);
    m_layouts.apply(change);
    m_colors.apply(change);
    m_top = change.map(m_top, OnInsert::Stay);
    m_anchor = change.map(m_anchor, OnInsert::Stay);
    m_position = change.map(m_position, OnInsert::Stay);

    // Repaint the line that changed, and what follows when rows came or went.
    const bool sameRows = change.linesRemoved == 0 && change.linesInserted == 0
        && m_layouts.rowMap().rows(change.line) == rowsBefore;
    updateRows(change.line, !sameRows);
    clampTop();
    updateScrollBar();
    dropPreedit();
    updateCaret();

    if (QAccessible::isActive() && change.inserted > 0) {
        QAccessibleTextInsertEvent event(this, change.position,
                                         m_document.text(change.position, change.inserted));
        QAccessible::updateAccessibility(&event);
    }
    emit textChanged();
}

void TextView::documentAboutToReset()
{
    if (m_primary)
        m_primary->freeze();
    if (!m_preedit.isEmpty())
        m_layouts.setPreedit(-1, QString(), 0, {});
}

void TextView::documentReset()
{
    dropPreedit();
    m_colors.clear();
    m_layouts.rebuild();
    m_top = 0;
    m_anchor = m_position = 0;
    m_desiredX = -1;
    updateScrollBar();
    viewport()->update();
    updateCaret();
    if (QAccessible::isActive()) {
        // A whole new text: tell it as the caret at the start of it.
        QAccessibleTextCursorEvent cursor(this, 0);
        QAccessible::updateAccessibility(&cursor);
    }
    emit textChanged();
    emit cursorPositionChanged();
}

void TextView::clearPreedit()
{
    if (m_preedit.isEmpty())
        return;
    const int line = m_document.store().lineOf(qMin(m_layouts.preeditPosition(), length()));
    m_preedit.clear();
    m_preeditCursor = 0;
    m_layouts.setPreedit(-1, QString(), 0, {});
    updateRows(line, true);
}

void TextView::dropPreedit()
{
    // The layouts no longer show it (the document let go of it before it changed).
    if (m_preedit.isEmpty())
        return;
    m_preedit.clear();
    m_preeditCursor = 0;
    viewport()->update();
    // The input method still holds what it composed: it starts afresh, once
    // this change is through.
    QMetaObject::invokeMethod(this, [this] {
        if (hasFocus())
            QGuiApplication::inputMethod()->reset();
    }, Qt::QueuedConnection);
}

void TextView::setReservedShortcuts(const QList<QKeySequence> &shortcuts)
{
    m_reserved = shortcuts;
}

// ---- colours ----------------------------------------------------------------------

QColor TextView::backgroundColor() const
{
    return palette().color(QPalette::Base);
}

QColor TextView::textColor() const
{
    return palette().color(QPalette::Text);
}

void TextView::setColors(const QColor &background, const QColor &text)
{
    QPalette p = palette();
    p.setColor(QPalette::Base, background);
    p.setColor(QPalette::Text, text);
    setPalette(p);
}

void TextView::setBackgroundColor(const QColor &color)
{
    QPalette p = palette();
    p.setColor(QPalette::Base, color);
    setPalette(p);
}

void TextView::setTextColorOfAll(const QColor &color)
{
    m_colors.clear();
    QPalette p = palette();
    p.setColor(QPalette::Text, color);
    setPalette(p);
    viewport()->update();
}

void TextView::setSelectionColor(const QColor &color)
{
    if (!hasSelection())
        return;
    m_colors.set(selectionStart(), selectionEnd(), color);
    viewport()->update();
}

QColor TextView::colorAt(int position) const
{
    return m_colors.at(position).value_or(textColor());
}

// ---- place on screen ---------------------------------------------------------------

int TextView::visibleRows() const
{
    return qMax(1, (viewport()->height() - TopMargin) / m_layouts.rowHeight());
}

RowRef TextView::topRow()
{
    m_top = qBound(0, m_top, length());
    RowRef row = m_layouts.rowOf(m_top);
    m_top = m_layouts.rowStart(row); // a change may have left it inside a row
    return row;
}

int TextView::topPosition()
{
    topRow();
    return m_top;
}

void TextView::setTop(const RowRef &row)
{
    const int top = m_layouts.rowStart(row);
    if (top == m_top)
        return;
    m_top = top;
    viewport()->update();
    updateCaret();
}

void TextView::scrollRows(int rows)
{
    RowRef row = topRow();
    for (; rows > 0 && m_layouts.next(row); --rows) {
    }
    for (; rows < 0 && m_layouts.previous(row); ++rows) {
    }
    setTop(row);
    clampTop();
    updateScrollBar();
}

void TextView::clampTop()
{
    // The last row never rises above the bottom of the view.
    const int rows = visibleRows();
    RowRef row = topRow();
    int counted = 1;
    while (counted < rows && m_layouts.next(row))
        ++counted;
    if (counted >= rows)
        return;
    RowRef top = m_layouts.lastRow();
    for (int up = 1; up < rows && m_layouts.previous(top); ++up) {
    }
    if (top < topRow())
        setTop(top);
}

void TextView::scrollToEnd()
{
    RowRef top = m_layouts.lastRow();
    for (int up = 1; up < visibleRows() && m_layouts.previous(top); ++up) {
    }
    setTop(top);
}

void TextView::updateScrollBar()
{
    QScrollBar *bar = verticalScrollBar();
    const qint64 total = m_layouts.rowMap().total();
    const int rows = visibleRows();
    const qint64 value = m_layouts.rowIndex(topRow());
    int maximum = int(qBound<qint64>(0, total - rows, qint64(0x7FFFFFFF)));
    maximum = int(qMax<qint64>(maximum, qMin<qint64>(value, 0x7FFFFFFF)));
    m_settingScrollBar = true;
    bar->setRange(0, maximum);
    bar->setPageStep(rows);
    bar->setSingleStep(1);
    if (!bar->isSliderDown())
        bar->setValue(int(qMin<qint64>(value, maximum)));
    m_settingScrollBar = false;
}

void TextView::scrollContentsBy(int, int)
{
    // The scroll bar moved: find the row its value stands for. Its ends
    // stand for the very first and the very last rows.
    if (m_settingScrollBar)
        return;
    QScrollBar *bar = verticalScrollBar();
    const int value = bar->value();
    if (value <= 0)
        setTop(RowRef{});
    else if (value >= bar->maximum())
        scrollToEnd();
    else {
        setTop(m_layouts.rowAtIndex(value));
        clampTop();
    }
    if (!bar->isSliderDown())
        updateScrollBar();
}

std::optional<int> TextView::rowY(const RowRef &target)
{
    RowRef row = topRow();
    if (target < row)
        return std::nullopt;
    const int rows = visibleRows() + 1;
    for (int i = 0; i < rows; ++i) {
        if (row == target)
            return TopMargin + i * m_layouts.rowHeight();
        if (!m_layouts.next(row))
            break;
    }
    return std::nullopt;
}

void TextView::ensureCursorVisible()
{
    const RowRef caret = m_layouts.rowOf(m_position);
    const RowRef top = topRow();
    const std::optional<int> y = caret < top ? std::nullopt : rowY(caret);
    if (caret < top) {
        setTop(caret);
    } else if (!y || *y + m_layouts.rowHeight() > viewport()->height()) {
        // Below the view: it becomes the bottom row.
        RowRef first = caret;
        for (int up = 1; up < visibleRows() && m_layouts.previous(first); ++up) {
        }
        if (top < first)
            setTop(first);
    }
    updateScrollBar();
    updateCaret();
}

void TextView::relayout()
{
    const int width = viewport()->width() - LeftMargin - RightMargin;
    m_layouts.configure(font(), width);
    clampTop();
    updateScrollBar();
    updateCaret();
    viewport()->update();
}

void TextView::updateRows(int fromLine, bool toBottom)
{
    const RowRef top = topRow();
    const int width = viewport()->width();
    const int height = viewport()->height();
    if (fromLine < top.line) {
        viewport()->update(QRect(0, 0, width, height));
        return;
    }
    RowRef row = fromLine == top.line ? top : RowRef{fromLine, 0, 0};
    if (fromLine >= m_document.store().lineCount())
        return;
    const std::optional<int> at = rowY(row);
    if (!at)
        return; // below the view
    const int y = fromLine == top.line ? 0 : *at;
    if (toBottom) {
        viewport()->update(QRect(0, y, width, height - y));
        return;
    }
    // Just that line's rows.
    int bottom = *at + m_layouts.rowHeight();
    while (bottom < height && m_layouts.next(row) && row.line == fromLine)
        bottom += m_layouts.rowHeight();
    viewport()->update(QRect(0, y, width, bottom - y));
}

// ---- the caret ---------------------------------------------------------------------

int TextView::caretWidth() const
{
    return qMax(1, style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, this));
}

QRect TextView::cursorRect()
{
    const int at = m_position;
    const RowRef row = m_layouts.rowOf(at);
    const std::optional<int> y = rowY(row);
    if (!y)
        return QRect();
    QTextLayout &layout = m_layouts.layout(row.line, row.piece);
    const int offset = at - m_document.store().lineStart(row.line) - m_layouts.pieceStart(row.line, row.piece);
    int layoutOffset = m_layouts.toLayout(row.line, row.piece, offset);
    if (!m_preedit.isEmpty())
        layoutOffset = offset + m_preeditCursor;
    const qreal x = layout.lineAt(row.row).cursorToX(layoutOffset);
    return QRect(LeftMargin + int(std::floor(x)), *y, caretWidth(), m_layouts.rowHeight());
}

QRect TextView::characterRect(int position)
{
    const RowRef row = m_layouts.rowOf(position);
    const std::optional<int> y = rowY(row);
    if (!y)
        return QRect();
    const qreal x1 = m_layouts.xOf(position);
    qreal x2 = x1;
    if (position < length() && m_document.store().at(position) != u'\n') {
        const int next = TextBoundaries::nextCharacter(m_document.store(), position);
        const RowRef nextRow = m_layouts.rowOf(next);
        x2 = nextRow == row ? m_layouts.xOf(next) : x1 + QFontMetricsF(font()).averageCharWidth();
    }
    return QRect(LeftMargin + int(qMin(x1, x2)), *y, qMax(1, int(std::abs(x2 - x1))),
                 m_layouts.rowHeight());
}

int TextView::positionAt(const QPoint &point)
{
    RowRef row = topRow();
    int steps = (point.y() - TopMargin) / m_layouts.rowHeight();
    if (point.y() < TopMargin)
        steps = -1 - (TopMargin - point.y()) / m_layouts.rowHeight();
    for (; steps > 0 && m_layouts.next(row); --steps) {
    }
    for (; steps < 0 && m_layouts.previous(row); ++steps) {
    }
    if (steps > 0)
        return length(); // below the last row
    if (steps < 0)
        return 0;
    int position = m_layouts.positionAtX(row, point.x() - LeftMargin);
    if (!m_layouts.isLastRowOfLine(row) && position >= m_layouts.rowEnd(row))
        position = rowEndForCaret(row);
    return position;
}

void TextView::updateCaret()
{
    if (!m_caretRect.isNull())
        viewport()->update(m_caretRect.adjusted(-2, 0, 2, 0));
    m_caretRect = cursorRect();
    if (!m_caretRect.isNull())
        viewport()->update(m_caretRect.adjusted(-2, 0, 2, 0));
}

void TextView::restartBlinking()
{
    m_caretOn = true;
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (hasFocus() && flash >= 2)
        m_blink.start(flash / 2, this);
    else
        m_blink.stop();
}

// ---- painting ----------------------------------------------------------------------

void TextView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QRect clip = event->rect();
    painter.fillRect(clip, backgroundColor());
    const TextPaintOptions options = paintOptions();
    const int height = viewport()->height();
    RowRef row = topRow();
    int y = TopMargin;
    while (y < height) {
        const int rows = m_layouts.layout(row.line, row.piece).lineCount();
        const qreal top = y - qreal(row.row) * m_layouts.rowHeight();
        const int bottom = int(top) + rows * m_layouts.rowHeight();
        if (bottom > clip.top() && y <= clip.bottom())
            m_painter.paintPiece(painter, row.line, row.piece, QPointF(LeftMargin, top), QRectF(clip), options);
        y = bottom;
        RowRef last{row.line, row.piece, rows - 1};
        if (!m_layouts.next(last))
            break;
        row = last;
    }
    m_layouts.trim(topRow());
}

TextPaintOptions TextView::paintOptions() const
{
    const QPalette::ColorGroup group = isActiveWindow() ? QPalette::Active : QPalette::Inactive;
    TextPaintOptions options;
    options.text = textColor();
    options.background = backgroundColor();
    options.colors = &m_colors;
    options.selectionStart = selectionStart();
    options.selectionEnd = selectionEnd();
    options.selectionBackground = palette().brush(group, QPalette::Highlight);
    options.selectionText = palette().brush(group, QPalette::HighlightedText);
    // The caret, or where a drop would go.
    if (m_dropPosition >= 0) {
        options.caret = m_dropPosition;
    } else if (hasFocus() && m_caretOn) {
        options.caret = m_position;
        if (!m_preedit.isEmpty())
            options.preeditCursor = m_preeditCursor;
    }
    options.caretWidth = caretWidth();
    return options;
}

// ---- events ------------------------------------------------------------------------

bool TextView::keyIsReserved(const QKeyEvent *key) const
{
    const QKeySequence pressed(QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())));
    return m_reserved.contains(pressed);
}

bool TextView::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (keyIsReserved(key)) {
            event->ignore(); // the window's shortcut takes it
            return true;
        }
        // The keys the view acts on are its own, whatever shortcuts exist elsewhere.
        if (commandForKey(*key)) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TextView::keyPressEvent(QKeyEvent *event)
{
    const std::optional<KeyCommand> command = keyIsReserved(event) ? std::nullopt : commandForKey(*event);
    if (!command) {
        event->ignore();
        return;
    }
    run(*command);
    event->accept();
}

void TextView::mousePressEvent(QMouseEvent *event)
{
    const int at = positionAt(event->position().toPoint());
    if (event->button() == Qt::MiddleButton) {
        // The X11 primary selection goes where the middle button is pressed.
        QString text;
        if (QGuiApplication::clipboard()->supportsSelection() && primarySelectionText(&text)
            && !text.isEmpty()) {
            setCaret(at, at);
            if (!insertText(text))
                QApplication::beep();
        }
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    m_document.closeUndoGroup();
    if (m_tripleClick.isActive()
        && (event->position().toPoint() - m_doubleClickAt).manhattanLength()
               < QApplication::startDragDistance()) {
        m_tripleClick.stop();
        m_selectUnit = Unit::Line;
        m_selectOrigin = TextBoundaries::lineAt(m_document.store(), at);
        setCaret(m_selectOrigin.first, m_selectOrigin.second);
    } else if (event->modifiers() & Qt::ShiftModifier) {
        m_selectUnit = Unit::Character;
        m_selectOrigin = {m_anchor, m_anchor};
        setCaret(m_anchor, at);
    } else {
        m_selectUnit = Unit::Character;
        m_selectOrigin = {at, at};
        setCaret(at, at);
    }
    m_selecting = true;
    m_lastMouse = event->position().toPoint();
}

void TextView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        mousePressEvent(event);
        return;
    }
    const int at = positionAt(event->position().toPoint());
    m_selectUnit = Unit::Word;
    m_selectOrigin = TextBoundaries::wordAt(m_document.store(), at);
    setCaret(m_selectOrigin.first, m_selectOrigin.second);
    m_selecting = true;
    m_doubleClickAt = event->position().toPoint();
    m_tripleClick.start(QGuiApplication::styleHints()->mouseDoubleClickInterval(), this);
}

void TextView::selectTo(int to)
{
    // From the unit the selection began with to the unit under the mouse.
    std::pair<int, int> unit{to, to};
    if (m_selectUnit == Unit::Word)
        unit = TextBoundaries::wordAt(m_document.store(), to);
    else if (m_selectUnit == Unit::Line)
        unit = TextBoundaries::lineAt(m_document.store(), to);
    if (unit.first < m_selectOrigin.first)
        setCaret(m_selectOrigin.second, unit.first);
    else
        setCaret(m_selectOrigin.first, qMax(unit.second, m_selectOrigin.second));
}

void TextView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selecting || !(event->buttons() & Qt::LeftButton))
        return;
    m_lastMouse = event->position().toPoint();
    const bool outside = m_lastMouse.y() < 0 || m_lastMouse.y() >= viewport()->height();
    if (outside && !m_autoScroll.isActive())
        m_autoScroll.start(50, this);
    else if (!outside)
        m_autoScroll.stop();
    selectTo(positionAt(m_lastMouse));
}

void TextView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_autoScroll.stop();
    if (m_selecting) {
        m_selecting = false;
        publishPrimarySelection();
    }
}

void TextView::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_blink.timerId()) {
        // Only the caret's own rectangle is painted again.
        m_caretOn = !m_caretOn;
        if (!m_caretRect.isNull())
            viewport()->update(m_caretRect.adjusted(-2, 0, 2, 0));
    } else if (event->timerId() == m_autoScroll.timerId()) {
        scrollRows(m_lastMouse.y() < 0 ? -1 : 1);
        selectTo(positionAt(m_lastMouse));
    } else if (event->timerId() == m_tripleClick.timerId()) {
        m_tripleClick.stop();
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

QMenu *TextView::createStandardContextMenu()
{
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("qt_edit_menu"));
    auto add = [&](const QString &text, const char *name, QKeySequence::StandardKey key, bool enabled,
                   void (TextView::*slot)()) {
        QAction *action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(tr("&Undo"), "edit-undo", QKeySequence::Undo, m_document.isUndoAvailable(), &TextView::undo);
    add(tr("&Redo"), "edit-redo", QKeySequence::Redo, m_document.isRedoAvailable(), &TextView::redo);
    menu->addSeparator();
    add(tr("Cu&t"), "edit-cut", QKeySequence::Cut, hasSelection(), &TextView::cut);
    add(tr("&Copy"), "edit-copy", QKeySequence::Copy, hasSelection(), &TextView::copy);
    // Asking the clipboard whether it holds text could wait on another
    // program; Paste is always offered.
    add(tr("&Paste"), "edit-paste", QKeySequence::Paste, true, &TextView::paste);
    add(tr("Delete"), "edit-delete", QKeySequence::UnknownKey, hasSelection(), &TextView::deleteSelection);
    menu->addSeparator();
    add(tr("Select All"), "select-all", QKeySequence::SelectAll, length() > 0, &TextView::selectAll);
    return menu;
}

void TextView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void TextView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    restartBlinking();
    updateCaret();
}

void TextView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    m_blink.stop();
    m_caretOn = false;
    updateCaret();
    m_document.closeUndoGroup();
}

bool TextView::focusNextPrevChild(bool)
{
    return false; // Tab types a tab
}

void TextView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void TextView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        relayout();
    else if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ActivationChange)
        viewport()->update();
}

// ---- clipboard, selection and drops -------------------------------------------------

bool TextView::canInsertFromMimeData(const QMimeData *source) const
{
    return source && source->hasText();
}

void TextView::insertFromMimeData(const QMimeData *source)
{
    if (!canInsertFromMimeData(source))
        return;
    if (!insertText(source->text()))
        QApplication::beep();
}

QMimeData *TextView::createMimeDataFromSelection() const
{
    auto *data = new QMimeData;
    data->setText(selectedText());
    return data;
}

bool TextView::primarySelectionText(QString *text)
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData(QClipboard::Selection);
    if (!data)
        return false;
    *text = data->text();
    return true;
}

bool TextView::copyToClipboard()
{
    QGuiApplication::clipboard()->setMimeData(createMimeDataFromSelection(), QClipboard::Clipboard);
    return true;
}

void TextView::copy()
{
    if (hasSelection())
        copyToClipboard();
}

void TextView::cut()
{
    // What could not be put on the clipboard stays in the text.
    if (hasSelection() && copyToClipboard())
        deleteSelection();
}

void TextView::paste()
{
    insertFromMimeData(QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard));
}

void TextView::publishPrimarySelection()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!hasSelection() || !clipboard->supportsSelection())
        return;
    auto *data = new SelectionMimeData(m_document, selectionStart(), selectionEnd());
    m_primary = data;
    clipboard->setMimeData(data, QClipboard::Selection);
}

void TextView::dragEnterEvent(QDragEnterEvent *event)
{
    if (!canInsertFromMimeData(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void TextView::dragMoveEvent(QDragMoveEvent *event)
{
    if (!canInsertFromMimeData(event->mimeData())) {
        event->ignore();
        return;
    }
    const int at = positionAt(event->position().toPoint());
    if (at != m_dropPosition) {
        m_dropPosition = at;
        viewport()->update();
    }
    event->acceptProposedAction();
}

void TextView::dragLeaveEvent(QDragLeaveEvent *)
{
    m_dropPosition = -1;
    viewport()->update();
}

void TextView::dropEvent(QDropEvent *event)
{
    const int at = positionAt(event->position().toPoint());
    m_dropPosition = -1;
    if (!canInsertFromMimeData(event->mimeData())) {
        event->ignore();
        return;
    }
    m_document.closeUndoGroup();
    setCaret(at, at);
    insertFromMimeData(event->mimeData());
    event->acceptProposedAction();
    setFocus();
    viewport()->update();
}

// ---- input methods ------------------------------------------------------------------

void TextView::inputMethodEvent(QInputMethodEvent *event)
{
    // What was being composed goes; the event says what is composed now.
    clearPreedit();

    // What is committed goes in as typed, in place of the selection or of
    // the stretch around the caret the event names.
    if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
        if (event->replacementLength() > 0) {
            // Whole characters only, whatever the input method counted.
            const TextStore &store = m_document.store();
            auto splitsPair = [&](int at) {
                return at > 0 && at < length() && QChar::isLowSurrogate(store.at(at))
                    && QChar::isHighSurrogate(store.at(at - 1));
            };
            int from = qBound(0, m_position + event->replacementStart(), length());
            int to = qBound(from, from + event->replacementLength(), length());
            from -= splitsPair(from) ? 1 : 0;
            to += splitsPair(to) ? 1 : 0;
            setCaret(from, to);
        }
        typeText(event->commitString());
    }

    const QString preedit = event->preeditString();
    QList<QTextLayout::FormatRange> formats;
    int cursor = int(preedit.size());
    for (const QInputMethodEvent::Attribute &attribute : event->attributes()) {
        if (attribute.type == QInputMethodEvent::Cursor) {
            cursor = attribute.start;
        } else if (attribute.type == QInputMethodEvent::TextFormat) {
            const QTextCharFormat format = qvariant_cast<QTextFormat>(attribute.value).toCharFormat();
            if (format.isValid())
                formats.append({attribute.start, attribute.length, format});
        } else if (attribute.type == QInputMethodEvent::Selection && preedit.isEmpty()) {
            setSelection(attribute.start, attribute.start + attribute.length);
        }
    }
    if (!preedit.isEmpty()) {
        if (hasSelection())
            deleteSelection();
        m_preedit = preedit;
        m_preeditCursor = qBound(0, cursor, int(m_preedit.size()));
        if (formats.isEmpty()) {
            QTextCharFormat underline;
            underline.setFontUnderline(true);
            formats.append({0, int(m_preedit.size()), underline});
        }
        m_layouts.setPreedit(m_position, m_preedit, m_preeditCursor, formats);
        updateRows(m_document.store().lineOf(m_position), true);
    }
    updateCaret();
    event->accept();
}

QVariant TextView::inputMethodQuery(Qt::InputMethodQuery query) const
{
    auto *self = const_cast<TextView *>(this);
    const TextStore &store = m_document.store();
    // Around the caret, within its line and not too far.
    const int line = store.lineOf(m_position);
    const int from = qMax(store.lineStart(line), m_position - 1024);
    const int to = qMin(store.lineEnd(line), m_position + 1024);
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return QRectF(self->cursorRect().translated(viewport()->pos()));
    case Qt::ImAnchorRectangle:
        return QRectF(self->characterRect(m_anchor).translated(viewport()->pos()));
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return m_position - from;
    case Qt::ImAnchorPosition:
        return qBound(from, m_anchor, to) - from;
    case Qt::ImSurroundingText:
        return store.text(from, to - from);
    case Qt::ImCurrentSelection:
        return selectedText();
    case Qt::ImMaximumTextLength:
        return QVariant(); // no limit of its own
    case Qt::ImAbsolutePosition:
        return m_position;
    case Qt::ImTextBeforeCursor:
        return store.text(from, m_position - from);
    case Qt::ImTextAfterCursor:
        return store.text(m_position, to - m_position);
    case Qt::ImHints:
        return int(Qt::ImhMultiLine);
    case Qt::ImReadOnly:
        return false;
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}
