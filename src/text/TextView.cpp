#include "TextView.h"

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
#include <QTextBoundaryFinder>

#include <cmath>

namespace {

constexpr int LeftMargin = 4;
constexpr int RightMargin = 4;
constexpr int TopMargin = 2;
// How far word and character moves look around the caret within a line.
constexpr int WordWindow = 4096;
constexpr int GraphemeWindow = 128;

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c.isMark() || c == u'_';
}

} // namespace

// The primary selection on X11 belongs to whoever selected last, and is read
// only when another program asks. This hands out the selected text then,
// rather than copying a large selection at once; it keeps a copy of its own
// only when the text is about to change.
class SelectionMimeData : public QMimeData
{
public:
    SelectionMimeData(const TextDocument &document, int from, int to)
        : m_document(const_cast<TextDocument *>(&document))
        , m_revision(document.revision())
        , m_from(from)
        , m_to(to)
    {
    }

    void freeze()
    {
        if (m_frozen)
            return;
        m_frozen = true;
        if (m_document && m_document->revision() == m_revision)
            m_text = m_document->text(m_from, m_to - m_from);
    }

    QStringList formats() const override { return {QStringLiteral("text/plain")}; }
    bool hasFormat(const QString &mimeType) const override
    {
        return mimeType == QLatin1String("text/plain");
    }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType) const override
    {
        if (mimeType != QLatin1String("text/plain"))
            return {};
        if (!m_frozen && m_document && m_document->revision() == m_revision)
            return m_document->text(m_from, m_to - m_from);
        return m_text;
    }

private:
    QPointer<TextDocument> m_document;
    quint64 m_revision;
    int m_from;
    int m_to;
    bool m_frozen = false;
    QString m_text;
};

TextView::TextView(QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_layouts(m_document)
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
    if (qint64(length()) - count + text.size() > m_maxLength)
        return false;
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
    const int from = word ? previousWord(m_position) : previousCharacter(m_position);
    if (from < m_position)
        edit(from, m_position - from, {}, TextDocument::EditKind::Deleting);
}

void TextView::deleteForward(bool word)
{
    if (hasSelection()) {
        deleteSelection();
        return;
    }
    const int to = word ? nextWord(m_position) : nextCharacter(m_position);
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

int TextView::nextCharacter(int position) const
{
    const TextStore &store = m_document.store();
    if (position >= length())
        return length();
    if (store.at(position) == u'\n')
        return position + 1; // a break, whatever it is written with
    const int line = store.lineOf(position);
    const int end = qMin(store.lineEnd(line), position + GraphemeWindow);
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, store.text(position, end - position));
    const qsizetype next = graphemes.toNextBoundary();
    return next > 0 ? position + int(next) : position + 1;
}

int TextView::previousCharacter(int position) const
{
    const TextStore &store = m_document.store();
    if (position <= 0)
        return 0;
    if (store.at(position - 1) == u'\n')
        return position - 1;
    const int line = store.lineOf(position);
    const int start = qMax(store.lineStart(line), position - GraphemeWindow);
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, store.text(start, position - start));
    graphemes.toEnd();
    const qsizetype previous = graphemes.toPreviousBoundary();
    return previous >= 0 && start + previous < position ? start + int(previous) : position - 1;
}

int TextView::nextWord(int position) const
{
    const TextStore &store = m_document.store();
    if (position >= length())
        return length();
    if (store.at(position) == u'\n')
        return position + 1;
    const int line = store.lineOf(position);
    const int lineEnd = store.lineEnd(line);
    const int end = qMin(lineEnd, position + WordWindow);
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, store.text(position, end - position));
    for (qsizetype at = words.toNextBoundary(); at > 0; at = words.toNextBoundary()) {
        if (position + at >= end)
            break;
        if (words.boundaryReasons() & QTextBoundaryFinder::StartOfItem)
            return position + int(at);
    }
    return end;
}

int TextView::previousWord(int position) const
{
    const TextStore &store = m_document.store();
    if (position <= 0)
        return 0;
    if (store.at(position - 1) == u'\n')
        return position - 1;
    const int line = store.lineOf(position);
    const int start = qMax(store.lineStart(line), position - WordWindow);
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, store.text(start, position - start));
    words.toEnd();
    for (qsizetype at = words.toPreviousBoundary(); at > 0; at = words.toPreviousBoundary()) {
        if (words.boundaryReasons() & QTextBoundaryFinder::StartOfItem)
            return start + int(at);
    }
    return start;
}

std::pair<int, int> TextView::wordAt(int position) const
{
    const TextStore &store = m_document.store();
    const int line = store.lineOf(position);
    const int lineStart = store.lineStart(line);
    const int lineEnd = store.lineEnd(line);
    if (lineEnd == lineStart)
        return {position, position};
    position = qMin(position, lineEnd - 1);
    const int from = qMax(lineStart, position - WordWindow);
    const int to = qMin(lineEnd, position + WordWindow);
    const QString text = store.text(from, to - from);
    const int at = position - from;
    // A run of word characters, or else the one character clicked.
    if (!isWordChar(text.at(at)))
        return {position, nextCharacter(position)};
    int start = at;
    int end = at;
    while (start > 0 && isWordChar(text.at(start - 1)))
        --start;
    while (end < text.size() && isWordChar(text.at(end)))
        ++end;
    return {from + start, from + end};
}

std::pair<int, int> TextView::lineAt(int position) const
{
    const TextStore &store = m_document.store();
    const int line = store.lineOf(position);
    const int end = line + 1 < store.lineCount() ? store.lineStart(line + 1) : length();
    return {store.lineStart(line), end}; // the line with its break
}

int TextView::rowEndForCaret(const RowRef &row)
{
    // The end of a row that wraps is also the start of the next row: the
    // caret stays on this row just before it.
    const int end = m_layouts.rowEnd(row);
    if (m_layouts.isLastRowOfLine(row))
        return end;
    return qMax(m_layouts.rowStart(row), previousCharacter(end));
}

void TextView::moveCursor(Move move, bool select)
{
    m_document.closeUndoGroup();
    int position = m_position;
    bool keepColumn = false;
    switch (move) {
    case Move::NextCharacter:
        position = hasSelection() && !select ? selectionEnd() : nextCharacter(m_position);
        break;
    case Move::PreviousCharacter:
        position = hasSelection() && !select ? selectionStart() : previousCharacter(m_position);
        break;
    case Move::NextWord:
        position = nextWord(m_position);
        break;
    case Move::PreviousWord:
        position = previousWord(m_position);
        break;
    case Move::RowStart:
        position = m_layouts.rowStart(m_layouts.rowOf(m_position));
        break;
    case Move::RowEnd:
        position = rowEndForCaret(m_layouts.rowOf(m_position));
        break;
    case Move::Start:
        position = 0;
        break;
    case Move::End:
        position = length();
        break;
    case Move::Down:
    case Move::Up:
    case Move::PageDown:
    case Move::PageUp: {
        const bool down = move == Move::Down || move == Move::PageDown;
        const bool page = move == Move::PageDown || move == Move::PageUp;
        const int steps = page ? qMax(1, visibleRows() - 1) : 1;
        if (m_desiredX < 0)
            m_desiredX = m_layouts.xOf(m_position);
        RowRef row = m_layouts.rowOf(m_position);
        int moved = 0;
        while (moved < steps && (down ? m_layouts.next(row) : m_layouts.previous(row)))
            ++moved;
        if (moved < steps && !page) {
            position = down ? length() : 0;
        } else if (moved == 0) {
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
    }
    setCaret(select ? m_anchor : position, position, keepColumn);
    ensureCursorVisible();
    if (select)
        publishPrimarySelection();
}

void TextView::setCaret(int anchor, int position, bool keepColumn)
{
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

    auto map = [&](int p) {
        if (p <= change.position)
            return p;
        if (p >= change.position + change.removed)
            return p + change.inserted - change.removed;
        return change.position;
    };
    m_top = map(m_top);
    m_anchor = qBound(0, map(m_anchor), length());
    m_position = qBound(0, map(m_position), length());

    // Repaint the line that changed, and what follows when rows came or went.
    const bool sameRows = change.linesRemoved == 0 && change.linesInserted == 0
        && m_layouts.rowMap().rows(change.line) == rowsBefore;
    updateRows(change.line, !sameRows);
    clampTop();
    updateScrollBar();
    updateCaret();

    if (QAccessible::isActive() && change.inserted > 0) {
        QAccessibleTextInsertEvent event(this, change.position,
                                         m_document.text(change.position, change.inserted));
        QAccessible::updateAccessibility(&event);
    }
    emit textChanged();
}

void TextView::documentReset()
{
    if (m_primary)
        m_primary->freeze();
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
        const int next = nextCharacter(position);
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
    const int height = viewport()->height();
    RowRef row = topRow();
    int y = TopMargin;
    while (y < height) {
        const int rows = m_layouts.layout(row.line, row.piece).lineCount();
        const qreal top = y - qreal(row.row) * m_layouts.rowHeight();
        const int bottom = int(top) + rows * m_layouts.rowHeight();
        if (bottom > clip.top() && y <= clip.bottom())
            paintPiece(painter, row, top, clip);
        y = bottom;
        RowRef last{row.line, row.piece, rows - 1};
        if (!m_layouts.next(last))
            break;
        row = last;
    }
    m_layouts.trim(topRow());
}

void TextView::paintPiece(QPainter &painter, const RowRef &first, qreal top, const QRect &clip)
{
    QTextLayout &layout = m_layouts.layout(first.line, first.piece);
    const TextStore &store = m_document.store();
    const int lineStart = store.lineStart(first.line);
    const int pieceStart = lineStart + m_layouts.pieceStart(first.line, first.piece);
    const int pieceEnd = lineStart + m_layouts.pieceEnd(first.line, first.piece);
    auto toLayout = [&](int position) {
        return m_layouts.toLayout(first.line, first.piece, position - pieceStart);
    };

    QList<QTextLayout::FormatRange> overlays;
    for (const ColorRuns::Run &run : m_colors.overlapping(pieceStart, pieceEnd)) {
        QTextLayout::FormatRange range;
        range.start = toLayout(qMax(run.start, pieceStart));
        range.length = toLayout(qMin(run.end, pieceEnd)) - range.start;
        range.format.setForeground(QColor::fromRgba(run.color));
        overlays.append(range);
    }
    const QPalette::ColorGroup group = isActiveWindow() ? QPalette::Active : QPalette::Inactive;
    if (hasSelection() && selectionStart() < pieceEnd && selectionEnd() > pieceStart) {
        QTextLayout::FormatRange range;
        range.start = toLayout(qMax(selectionStart(), pieceStart));
        range.length = toLayout(qMin(selectionEnd(), pieceEnd)) - range.start;
        range.format.setBackground(palette().brush(group, QPalette::Highlight));
        range.format.setForeground(palette().brush(group, QPalette::HighlightedText));
        overlays.append(range);
    }

    const QPointF origin(LeftMargin, top);
    painter.setPen(textColor());
    layout.draw(&painter, origin, overlays, QRectF(clip));
    paintSymbols(painter, first, origin, clip);

    // A selected line break shows as a selected blank after the line.
    const bool lastPiece = first.piece == m_layouts.pieceCount(first.line) - 1;
    const int lineEnd = store.lineEnd(first.line);
    if (lastPiece && hasSelection() && lineEnd < length() && selectionStart() <= lineEnd
        && selectionEnd() > lineEnd) {
        const QTextLine last = layout.lineAt(layout.lineCount() - 1);
        const QRectF mark(origin.x() + last.naturalTextWidth(), top + last.y(),
                          QFontMetricsF(font()).horizontalAdvance(u' '), m_layouts.rowHeight());
        painter.fillRect(mark, palette().brush(group, QPalette::Highlight));
    }

    // The caret, or where a drop would go.
    const int caret = m_dropPosition >= 0 ? m_dropPosition : m_position;
    const bool showCaret = m_dropPosition >= 0 || (hasFocus() && m_caretOn);
    if (!showCaret || caret < pieceStart || caret > pieceEnd)
        return;
    const RowRef caretRow = m_layouts.rowOf(caret);
    if (caretRow.line == first.line && caretRow.piece == first.piece) {
        int at = toLayout(caret);
        if (!m_preedit.isEmpty() && m_dropPosition < 0)
            at = caret - pieceStart + m_preeditCursor;
        painter.setPen(textColor());
        layout.drawCursor(&painter, origin, at, caretWidth());
    }
}

void TextView::paintSymbols(QPainter &painter, const RowRef &first, const QPointF &origin, const QRect &clip)
{
    // Controls and separators: their name on a small blob of the text's colour.
    const QList<QTextLayout::FormatRange> &symbols = m_layouts.symbolRanges(first.line, first.piece);
    if (symbols.isEmpty())
        return;
    QTextLayout &layout = m_layouts.layout(first.line, first.piece);
    const TextStore &store = m_document.store();
    const int pieceStart = store.lineStart(first.line) + m_layouts.pieceStart(first.line, first.piece);
    painter.save();
    painter.setFont(m_layouts.symbolFont());
    painter.setRenderHint(QPainter::Antialiasing);
    for (const QTextLayout::FormatRange &range : symbols) {
        for (int at = range.start; at < range.start + range.length; ++at) {
            const QTextLine line = layout.lineForTextPosition(at);
            const qreal y = origin.y() + line.y();
            if (y > clip.bottom() || y + line.height() < clip.top())
                continue;
            const qreal x1 = origin.x() + line.cursorToX(at);
            const qreal x2 = origin.x() + line.cursorToX(at + 1);
            const QRectF blob(qMin(x1, x2) + 1, y + 1, qAbs(x2 - x1) - 2, m_layouts.rowHeight() - 2);
            if (!blob.intersects(clip))
                continue;
            const int position = pieceStart + m_layouts.fromLayout(first.line, first.piece, at);
            const bool selected = position >= selectionStart() && position < selectionEnd();
            const QColor ink = selected ? palette().color(QPalette::HighlightedText) : colorAt(position);
            painter.setPen(Qt::NoPen);
            painter.setBrush(ink);
            painter.drawRoundedRect(blob, 2, 2);
            painter.setPen(selected ? palette().color(QPalette::Highlight) : backgroundColor());
            painter.drawText(blob, Qt::AlignCenter, TextLayouts::symbolName(store.at(position)));
        }
    }
    painter.restore();
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
        // Editing keys are the view's, whatever shortcuts exist elsewhere.
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut)
            || key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Undo)
            || key->matches(QKeySequence::Redo) || key->matches(QKeySequence::SelectAll)
            || key->matches(QKeySequence::Delete) || key->key() == Qt::Key_Backspace
            || key->key() == Qt::Key_Home || key->key() == Qt::Key_End
            || (!key->text().isEmpty() && key->text().at(0).isPrint()
                && !(key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier | Qt::GroupSwitchModifier)))) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TextView::keyPressEvent(QKeyEvent *event)
{
    if (keyIsReserved(event)) {
        event->ignore();
        return;
    }
    struct KeyMove
    {
        QKeySequence::StandardKey key;
        Move move;
        bool select;
    };
    static const KeyMove moves[] = {
        {QKeySequence::MoveToNextChar, Move::NextCharacter, false},
        {QKeySequence::SelectNextChar, Move::NextCharacter, true},
        {QKeySequence::MoveToPreviousChar, Move::PreviousCharacter, false},
        {QKeySequence::SelectPreviousChar, Move::PreviousCharacter, true},
        {QKeySequence::MoveToNextWord, Move::NextWord, false},
        {QKeySequence::SelectNextWord, Move::NextWord, true},
        {QKeySequence::MoveToPreviousWord, Move::PreviousWord, false},
        {QKeySequence::SelectPreviousWord, Move::PreviousWord, true},
        {QKeySequence::MoveToNextLine, Move::Down, false},
        {QKeySequence::SelectNextLine, Move::Down, true},
        {QKeySequence::MoveToPreviousLine, Move::Up, false},
        {QKeySequence::SelectPreviousLine, Move::Up, true},
        {QKeySequence::MoveToStartOfLine, Move::RowStart, false},
        {QKeySequence::SelectStartOfLine, Move::RowStart, true},
        {QKeySequence::MoveToEndOfLine, Move::RowEnd, false},
        {QKeySequence::SelectEndOfLine, Move::RowEnd, true},
        {QKeySequence::MoveToStartOfDocument, Move::Start, false},
        {QKeySequence::SelectStartOfDocument, Move::Start, true},
        {QKeySequence::MoveToEndOfDocument, Move::End, false},
        {QKeySequence::SelectEndOfDocument, Move::End, true},
        {QKeySequence::MoveToNextPage, Move::PageDown, false},
        {QKeySequence::SelectNextPage, Move::PageDown, true},
        {QKeySequence::MoveToPreviousPage, Move::PageUp, false},
        {QKeySequence::SelectPreviousPage, Move::PageUp, true},
    };
    for (const KeyMove &m : moves) {
        if (event->matches(m.key)) {
            moveCursor(m.move, m.select);
            return;
        }
    }
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
    } else if (event->matches(QKeySequence::Undo)) {
        undo();
    } else if (event->matches(QKeySequence::Redo)
               || (event->key() == Qt::Key_Y && mods == Qt::ControlModifier)
               || (event->key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier))) {
        redo();
    } else if (event->matches(QKeySequence::Copy)) {
        copy();
    } else if (event->matches(QKeySequence::Cut)) {
        cut();
    } else if (event->matches(QKeySequence::Paste)) {
        paste();
    } else if (event->matches(QKeySequence::DeleteStartOfWord)) {
        deleteBackward(true);
    } else if (event->matches(QKeySequence::DeleteEndOfWord)) {
        deleteForward(true);
    } else if (event->matches(QKeySequence::Delete)) {
        deleteForward(false);
    } else if (event->key() == Qt::Key_Backspace && !(mods & ~Qt::ShiftModifier)) {
        deleteBackward(false);
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        typeText(u"\n");
    } else if (event->key() == Qt::Key_Tab && !(mods & (Qt::ControlModifier | Qt::AltModifier))) {
        typeText(u"\t");
    } else {
        const QString text = event->text();
        // Characters a key types. With Ctrl or Alt alone it types none (the
        // window's menus take Alt); Ctrl+Alt may, as AltGr does on some systems.
        const bool ctrl = mods & Qt::ControlModifier;
        const bool alt = mods & Qt::AltModifier;
        const bool control = ctrl != alt || (mods & Qt::MetaModifier);
        bool printable = !text.isEmpty() && !control;
        for (const QChar c : text) {
            if (!c.isPrint() && c.category() != QChar::Other_Format && !c.isSurrogate())
                printable = false;
        }
        if (!printable) {
            event->ignore();
            return;
        }
        typeText(text);
    }
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
        m_selectOrigin = lineAt(at);
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
    m_selectOrigin = wordAt(at);
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
        unit = wordAt(to);
    else if (m_selectUnit == Unit::Line)
        unit = lineAt(to);
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
    // What was being composed is gone; what is committed goes in as typed.
    const int from = selectionStart();
    int removeFrom = from;
    int removeCount = selectionEnd() - from;
    if (event->replacementLength() > 0) {
        removeFrom = qBound(0, m_position + event->replacementStart(), length());
        removeCount = qBound(0, event->replacementLength(), length() - removeFrom);
    }
    if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
        m_preedit.clear();
        m_layouts.setPreedit(-1, QString(), 0, {});
        if (removeFrom != selectionStart() || removeCount != selectionEnd() - selectionStart())
            setCaret(removeFrom, removeFrom + removeCount);
        typeText(event->commitString());
    }

    QList<QTextLayout::FormatRange> formats;
    int cursor = int(event->preeditString().size());
    for (const QInputMethodEvent::Attribute &attribute : event->attributes()) {
        if (attribute.type == QInputMethodEvent::Cursor) {
            cursor = attribute.start;
        } else if (attribute.type == QInputMethodEvent::TextFormat) {
            const QTextCharFormat format = qvariant_cast<QTextFormat>(attribute.value).toCharFormat();
            if (format.isValid())
                formats.append({attribute.start, attribute.length, format});
        } else if (attribute.type == QInputMethodEvent::Selection && event->preeditString().isEmpty()) {
            setSelection(attribute.start, attribute.start + attribute.length);
        }
    }
    if (m_preedit != event->preeditString() || !event->preeditString().isEmpty()) {
        if (!event->preeditString().isEmpty() && hasSelection())
            deleteSelection();
        m_preedit = event->preeditString();
        m_preeditCursor = qBound(0, cursor, int(m_preedit.size()));
        if (formats.isEmpty() && !m_preedit.isEmpty()) {
            QTextCharFormat underline;
            underline.setFontUnderline(true);
            formats.append({0, int(m_preedit.size()), underline});
        }
        m_layouts.setPreedit(m_preedit.isEmpty() ? -1 : m_position, m_preedit, m_preeditCursor, formats);
        updateRows(m_document.store().lineOf(m_position), true);
        updateCaret();
    }
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
