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

RowRef TextViewport::rowsUp(RowRef from, int count)
{
    for (; count > 0 && m_layouts.previous(from); --count) {
    }
    return from;
}

RowRef TextViewport::lastTop()
{
    return rowsUp(m_layouts.lastRow(), m_rows - 1);
}

bool TextViewport::scroll(int rows)
{
    RowRef row = top();
    for (; rows > 0 && m_layouts.next(row); --rows) {
    }
    row = rowsUp(row, -rows);
    const bool moved = setTop(row);
    return clamp() || moved;
}

bool TextViewport::scrollToEnd()
{
    return setTop(lastTop());
}

bool TextViewport::clamp()
{
    RowRef row = top();
    int counted = 1;
    while (counted < m_rows && m_layouts.next(row))
        ++counted;
    if (counted >= m_rows)
        return false; // the rows below fill the view
    const RowRef last = lastTop();
    return last < top() && setTop(last);
}

bool TextViewport::show(const RowRef &row)
{
    const RowRef first = top();
    if (row < first)
        return setTop(row);
    const std::optional<int> index = indexOnScreen(row);
    if (index && *index < m_rows)
        return false;
    // Below the view: it becomes the bottom row.
    const RowRef wanted = rowsUp(row, m_rows - 1);
    return first < wanted && setTop(wanted);
}

std::optional<int> TextViewport::indexOnScreen(const RowRef &target)
{
    RowRef row = top();
    if (target < row)
        return std::nullopt;
    const int rows = m_rows + 1; // the row the bottom edge cuts, too
    for (int i = 0; i < rows; ++i) {
        if (row == target)
            return i;
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
    const std::optional<int> index = indexOnScreen(row);
    return index ? std::optional<int>(TopMargin + *index * m_layouts.rowHeight()) : std::nullopt;
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
    return QRect(LeftMargin + int(std::floor(x)), *y, caretWidth, m_layouts.rowHeight());
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
    return QRect(LeftMargin + int(qMin(x1, x2)), *y, qMax(1, int(std::abs(x2 - x1))), m_layouts.rowHeight());
}

int TextViewport::positionAt(const QPoint &point)
{
    RowRef row = top();
    const int rowHeight = m_layouts.rowHeight();
    int steps = point.y() < TopMargin ? -1 - (TopMargin - point.y()) / rowHeight : (point.y() - TopMargin) / rowHeight;
    for (; steps > 0 && m_layouts.next(row); --steps) {
    }
    for (; steps < 0 && m_layouts.previous(row); ++steps) {
    }
    if (steps > 0)
        return m_layouts.document().length(); // below the last row
    if (steps < 0)
        return 0;
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
    int bottom = *at + m_layouts.rowHeight();
    while (bottom < size.height() && m_layouts.next(row) && row.line == fromLine)
        bottom += m_layouts.rowHeight();
    return QRect(0, y, size.width(), bottom - y);
}

void TextViewport::showOn(QScrollBar &bar)
{
    const qint64 value = m_layouts.rowIndex(top());
    int maximum = int(qBound<qint64>(0, m_layouts.rowMap().total() - m_rows, qint64(0x7FFFFFFF)));
    maximum = int(qMax<qint64>(maximum, qMin<qint64>(value, 0x7FFFFFFF)));
    bar.setRange(0, maximum);
    bar.setPageStep(m_rows);
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
