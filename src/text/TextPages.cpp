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
    m_pageHeight = qMax(1, int(pageSize.height()));
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
    // Rows are drawn whole where they meet the clip at all: keep it clear of
    // the rows just before and after the ones meant.
    const qreal inset = qMin<qreal>(0.25, m_layouts.rowHeight() / 4.0);
    int used = 0; // of the page's height
    for (;;) {
        // The rows of this piece that fit, the first always (a row taller
        // than a page has a page of its own).
        const int pieceRows = m_layouts.layout(m_next.line, m_next.piece).lineCount();
        int taken = 0;
        int height = 0;
        for (RowRef row = m_next; row.row < pieceRows; ++row.row) {
            const int rowHeight = m_layouts.heightOf(row);
            if (used + height + rowHeight > m_pageHeight && (used > 0 || taken > 0))
                break;
            height += rowHeight;
            ++taken;
        }
        if (taken == 0)
            break; // the page is full
        const QPointF origin(0, used - m_layouts.topOf(m_next));
        const QRectF clip(0, used + inset, m_pageSize.width(), height - 2 * inset);
        m_painter.paintPiece(painter, m_next.line, m_next.piece, origin, clip, options);
        used += height;
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
