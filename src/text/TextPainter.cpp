#include "TextPainter.h"

#include "ColorRuns.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

TextPainter::TextPainter(TextLayouts &layouts)
    : m_layouts(layouts)
{
}

QString TextPainter::symbolName(char16_t c)
{
    static const char *const c0[] = {
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS", "HT", "LF", "VT", "FF", "CR", "SO", "SI",
        "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN", "EM", "SUB", "ESC", "FS", "GS", "RS", "US",
    };
    if (c < 0x20)
        return QString::fromLatin1(c0[c]);
    if (c == 0x7F)
        return QStringLiteral("DEL");
    if (c == 0x2028)
        return QStringLiteral("LS");
    if (c == 0x2029)
        return QStringLiteral("PS");
    if (c < 0x100)
        return QStringLiteral("x") + QString::number(c, 16).toUpper();
    return QString::number(c, 16).toUpper();
}

void TextPainter::paintRows(QPainter &painter, RowRef row, const QPointF &origin, qreal bottom, const QRectF &clip,
                            const TextPaintOptions &options)
{
    for (qreal y = origin.y(); y < bottom;) {
        // A piece is painted whole, its first row above y where the top row is not its first.
        const int rows = m_layouts.layout(row.line, row.piece).lineCount();
        const qreal top = y - m_layouts.topOf(row);
        const qreal end = top + m_layouts.pieceHeight(row.line, row.piece);
        if (end > clip.top() && y <= clip.bottom())
            paintPiece(painter, row.line, row.piece, QPointF(origin.x(), top), clip, options);
        y = end;
        RowRef last{row.line, row.piece, rows - 1};
        if (!m_layouts.next(last))
            break;
        row = last;
    }
}

void TextPainter::paintPiece(QPainter &painter, int line, int piece, const QPointF &origin,
                             const QRectF &clip, const TextPaintOptions &options)
{
    QTextLayout &layout = m_layouts.layout(line, piece);
    const TextStore &store = m_layouts.document().store();
    const int lineStart = store.lineStart(line);
    const int pieceStart = lineStart + m_layouts.pieceStart(line, piece);
    const int pieceEnd = lineStart + m_layouts.pieceEnd(line, piece);
    auto toLayout = [&](int position) { return m_layouts.toLayout(line, piece, position - pieceStart); };

    QList<QTextLayout::FormatRange> overlays;
    if (options.colors) {
        for (const ColorRuns::Run &run : options.colors->overlapping(pieceStart, pieceEnd)) {
            QTextLayout::FormatRange range;
            range.start = toLayout(qMax(run.start, pieceStart));
            range.length = toLayout(qMin(run.end, pieceEnd)) - range.start;
            range.format.setForeground(QColor::fromRgba(run.color));
            overlays.append(range);
        }
    }
    const bool selection = options.selectionStart < options.selectionEnd;
    if (selection && options.selectionStart < pieceEnd && options.selectionEnd > pieceStart) {
        QTextLayout::FormatRange range;
        range.start = toLayout(qMax(options.selectionStart, pieceStart));
        range.length = toLayout(qMin(options.selectionEnd, pieceEnd)) - range.start;
        range.format.setBackground(options.selectionBackground);
        range.format.setForeground(options.selectionText);
        overlays.append(range);
    }

    painter.setPen(options.text);
    if (overlays.isEmpty()) {
        // Row by row: QTextLayout::draw also paints the row just above the
        // clip, which on paper is the last row of the page before.
        for (int row = 0; row < layout.lineCount(); ++row) {
            const RowRef at{line, piece, row};
            const qreal top = origin.y() + m_layouts.topOf(at);
            if (top >= clip.bottom())
                break;
            if (top + m_layouts.heightOf(at) > clip.top())
                layout.lineAt(row).draw(&painter, origin);
        }
    } else {
        layout.draw(&painter, origin, overlays, clip);
    }
    paintSymbols(painter, line, piece, origin, clip, options);

    // A selected line break shows as a selected blank after the line.
    const bool lastPiece = piece == m_layouts.pieceCount(line) - 1;
    const int lineEnd = store.lineEnd(line);
    if (lastPiece && selection && lineEnd < store.length() && options.selectionStart <= lineEnd
        && options.selectionEnd > lineEnd) {
        const QTextLine last = layout.lineAt(layout.lineCount() - 1);
        const QRectF mark(origin.x() + last.naturalTextWidth(), origin.y() + last.y(),
                          QFontMetricsF(m_layouts.font()).horizontalAdvance(u' '),
                          m_layouts.heightOf({line, piece, layout.lineCount() - 1}));
        if (mark.intersects(clip))
            painter.fillRect(mark, options.selectionBackground);
    }

    const int caret = options.caret;
    if (caret < pieceStart || caret > pieceEnd)
        return;
    const RowRef caretRow = m_layouts.rowOf(caret);
    if (caretRow.line == line && caretRow.piece == piece) {
        const int at = options.compositionCursor >= 0 ? caret - pieceStart + options.compositionCursor : toLayout(caret);
        painter.setPen(options.text);
        layout.drawCursor(&painter, origin, at, options.caretWidth);
    }
}

void TextPainter::paintSymbols(QPainter &painter, int line, int piece, const QPointF &origin,
                               const QRectF &clip, const TextPaintOptions &options)
{
    // Controls and separators: their name on a small blob of the text's colour.
    const QList<QTextLayout::FormatRange> &symbols = m_layouts.symbolRanges(line, piece);
    if (symbols.isEmpty())
        return;
    QTextLayout &layout = m_layouts.layout(line, piece);
    const TextStore &store = m_layouts.document().store();
    const int pieceStart = store.lineStart(line) + m_layouts.pieceStart(line, piece);
    painter.save();
    QFont names = m_layouts.font();
    names.setPointSizeF(names.pointSizeF() > 0 ? names.pointSizeF() * TextLayouts::SymbolNameScale : 6);
    painter.setFont(names);
    painter.setRenderHint(QPainter::Antialiasing);
    for (const QTextLayout::FormatRange &range : symbols) {
        for (int at = range.start; at < range.start + range.length; ++at) {
            const QTextLine row = layout.lineForTextPosition(at);
            const int height = m_layouts.heightOf({line, piece, row.lineNumber()});
            const qreal y = origin.y() + row.y();
            if (y > clip.bottom() || y + height < clip.top())
                continue;
            const qreal x1 = origin.x() + row.cursorToX(at);
            const qreal x2 = origin.x() + row.cursorToX(at + 1);
            const QRectF blob(qMin(x1, x2) + 1, y + 1, qAbs(x2 - x1) - 2, height - 2);
            if (!blob.intersects(clip))
                continue;
            const int position = pieceStart + m_layouts.fromLayout(line, piece, at);
            const bool selected = position >= options.selectionStart && position < options.selectionEnd;
            std::optional<QColor> own = options.colors ? options.colors->at(position) : std::nullopt;
            const QColor ink = selected ? options.selectionText.color() : own.value_or(options.text);
            painter.setPen(Qt::NoPen);
            painter.setBrush(ink);
            painter.drawRoundedRect(blob, 2, 2);
            painter.setPen(selected ? options.selectionBackground.color() : options.background);
            painter.drawText(blob, Qt::AlignCenter, symbolName(store.at(position)));
        }
    }
    painter.restore();
}
