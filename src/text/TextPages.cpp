#include "TextPages.h"

#include <QPainter>

TextPages::TextPages(const TextDocument &document, const QFont &font, QPaintDevice *device,
                     const QSizeF &pageSize)
    : m_layouts(document)
    , m_painter(m_layouts)
    , m_pageSize(pageSize)
{
    m_layouts.configure(QFont(font, device), qMax(1, int(pageSize.width())));
    m_rowsPerPage = qMax(1, int(pageSize.height()) / m_layouts.rowHeight());
}

int TextPages::lineCount() const
{
    return m_layouts.document().store().lineCount();
}

void TextPages::paintNextPage(QPainter &painter)
{
    if (m_atEnd)
        return;
    TextPaintOptions options; // black on white: no colours, selection or caret
    const int rowHeight = m_layouts.rowHeight();
    // Rows are drawn whole where they meet the clip at all: keep it clear of
    // the rows just before and after the ones meant.
    const qreal inset = qMin<qreal>(0.25, rowHeight / 4.0);
    int rows = 0;
    while (rows < m_rowsPerPage) {
        const int pieceRows = m_layouts.layout(m_next.line, m_next.piece).lineCount();
        const int taken = qMin(pieceRows - m_next.row, m_rowsPerPage - rows);
        const qreal top = qreal(rows) * rowHeight;
        const QPointF origin(0, top - qreal(m_next.row) * rowHeight);
        const QRectF clip(0, top + inset, m_pageSize.width(), qreal(taken) * rowHeight - 2 * inset);
        m_painter.paintPiece(painter, m_next.line, m_next.piece, origin, clip, options);
        rows += taken;
        RowRef last{m_next.line, m_next.piece, m_next.row + taken - 1};
        if (!m_layouts.next(last)) {
            m_atEnd = true;
            break;
        }
        m_next = last;
    }
    // What was painted is not needed again.
    m_layouts.trim(m_next);
}
