#include "TextViewport.h"

#include "CaretMoves.h"
#include "TextBoundaries.h"

#include <QFontMetricsF>
#include <QScrollBar>

#include <cmath>

TextViewport::TextViewport(TextLayouts &layouts)
    : m_layouts(layouts)
{
}

RowRef TextViewport::top()
{
    m_top = qBound(0, m_top, m_layouts.document().length());
    const RowRef row = m_layouts.rowOf(m_top);
    m_top = m_layouts.rowStart(row); // a change may have left it inside a row
    return row;
}

int TextViewport::topPosition()
{
    top();
    return m_top;
}

bool TextViewport::setTop(const RowRef &row)
{
    const int start = m_layouts.rowStart(row);
    if (start == m_top)
        return false;
    m_top = start;
    return true;
}

RowRef TextViewport::fittingAbove(RowRef row)
{
    int used = m_layouts.heightOf(row);
    for (RowRef up = row; m_layouts.previous(up);) {
        used += m_layouts.heightOf(up);
        if (used > m_height)
            break;
        row = up;
    }
    return row;
}

RowRef TextViewport::lastTop()
{
    return fittingAbove(m_layouts.lastRow());
}

int TextViewport::rows()
{
    RowRef row = top();
    int used = m_layouts.heightOf(row);
    int count = 1;
    while (m_layouts.next(row)) {
        used += m_layouts.heightOf(row);
        if (used > m_height)
            return count;
        ++count;
    }
    return count + qMax(0, m_height - used) / m_layouts.rowHeight();
}

bool TextViewport::scroll(int rows)
{
    RowRef row = top();
    for (; rows > 0 && m_layouts.next(row); --rows) {
    }
    for (; rows < 0 && m_layouts.previous(row); ++rows) {
    }
    const bool moved = setTop(row);
    return clamp() || moved;
}

bool TextViewport::scrollToEnd()
{
    return setTop(lastTop());
}

bool TextViewport::clamp()
{
    // The view is full where no further row of the font's own height would fit.
    RowRef row = top();
    int used = m_layouts.heightOf(row);
    while (used + m_layouts.rowHeight() <= m_height && m_layouts.next(row))
        used += m_layouts.heightOf(row);
    if (used + m_layouts.rowHeight() > m_height)
        return false;
    const RowRef last = lastTop();
    return last < top() && setTop(last);
}

bool TextViewport::show(const RowRef &row)
{
    const RowRef first = top();
    if (row < first)
        return setTop(row);
    const std::optional<int> at = offsetOnScreen(row);
    if (at && *at + m_layouts.heightOf(row) <= m_height)
        return false;
    // Below the view: it becomes the bottom row.
    const RowRef wanted = fittingAbove(row);
    return first < wanted && setTop(wanted);
}

std::optional<int> TextViewport::offsetOnScreen(const RowRef &target)
{
    RowRef row = top();
    if (target < row)
        return std::nullopt;
    for (int y = 0; y < m_height;) {
        if (row == target)
            return y;
        y += m_layouts.heightOf(row);
        if (!m_layouts.next(row))
            break;
    }
    return std::nullopt;
}

void TextViewport::follow(const TextChange &change)
{
    m_top = change.map(m_top, OnInsert::Stay);
}

std::optional<int> TextViewport::rowY(const RowRef &row)
{
    const std::optional<int> offset = offsetOnScreen(row);
    return offset ? std::optional<int>(TopMargin + *offset) : std::nullopt;
}

QRect TextViewport::caretRect(int position, int compositionCursor, int caretWidth)
{
    const RowRef row = m_layouts.rowOf(position);
    const std::optional<int> y = rowY(row);
    if (!y)
        return QRect();
    QTextLayout &layout = m_layouts.layout(row.line, row.piece);
    const int offset = position - m_layouts.document().store().lineStart(row.line)
        - m_layouts.pieceStart(row.line, row.piece);
    const int layoutOffset = compositionCursor >= 0 ? offset + compositionCursor
                                                    : m_layouts.toLayout(row.line, row.piece, offset);
    const qreal x = layout.lineAt(row.row).cursorToX(layoutOffset);
    return QRect(LeftMargin + int(std::floor(x)), *y, caretWidth, m_layouts.heightOf(row));
}

QRect TextViewport::characterRect(int position)
{
    const TextStore &store = m_layouts.document().store();
    const RowRef row = m_layouts.rowOf(position);
    const std::optional<int> y = rowY(row);
    if (!y)
        return QRect();
    const qreal x1 = m_layouts.xOf(position);
    qreal x2 = x1;
    if (position < store.length() && store.at(position) != u'\n') {
        const int next = TextBoundaries::nextCharacter(store, position);
        x2 = m_layouts.rowOf(next) == row ? m_layouts.xOf(next)
                                          : x1 + QFontMetricsF(m_layouts.font()).averageCharWidth();
    }
    return QRect(LeftMargin + int(qMin(x1, x2)), *y, qMax(1, int(std::abs(x2 - x1))), m_layouts.heightOf(row));
}

int TextViewport::positionAt(const QPoint &point)
{
    RowRef row = top();
    int y = point.y() - TopMargin; // from the top row's top
    for (int height = m_layouts.heightOf(row); y >= height; height = m_layouts.heightOf(row)) {
        y -= height;
        if (!m_layouts.next(row))
            return m_layouts.document().length(); // below the last row
    }
    while (y < 0) {
        if (!m_layouts.previous(row))
            return 0;
        y += m_layouts.heightOf(row);
    }
    return CaretMoves::positionInRow(m_layouts, row, point.x() - LeftMargin);
}

QRect TextViewport::rowsRect(int fromLine, bool toBottom, const QSize &size)
{
    const RowRef first = top();
    if (fromLine < first.line)
        return QRect(QPoint(0, 0), size);
    if (fromLine >= m_layouts.document().store().lineCount())
        return QRect();
    RowRef row = fromLine == first.line ? first : RowRef{fromLine, 0, 0};
    const std::optional<int> at = rowY(row);
    if (!at)
        return QRect(); // below the view
    const int y = fromLine == first.line ? 0 : *at;
    if (toBottom)
        return QRect(0, y, size.width(), size.height() - y);
    // Just that line's rows.
    int bottom = *at + m_layouts.heightOf(row);
    while (bottom < size.height() && m_layouts.next(row) && row.line == fromLine)
        bottom += m_layouts.heightOf(row);
    return QRect(0, y, size.width(), bottom - y);
}

void TextViewport::showOn(QScrollBar &bar)
{
    const qint64 value = m_layouts.rowIndex(top());
    const int rows = this->rows();
    int maximum = int(qBound<qint64>(0, m_layouts.rowMap().total() - rows, qint64(0x7FFFFFFF)));
    maximum = int(qMax<qint64>(maximum, qMin<qint64>(value, 0x7FFFFFFF)));
    bar.setRange(0, maximum);
    bar.setPageStep(rows);
    bar.setSingleStep(1);
    if (!bar.isSliderDown())
        bar.setValue(int(qMin<qint64>(value, maximum)));
}

bool TextViewport::followScrollBar(const QScrollBar &bar)
{
    const int value = bar.value();
    if (value <= 0)
        return setTop(RowRef{});
    if (value >= bar.maximum())
        return scrollToEnd();
    const bool moved = setTop(m_layouts.rowAtIndex(value));
    return clamp() || moved;
}
