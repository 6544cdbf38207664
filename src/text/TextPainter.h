#pragma once
// Paints laid-out text: the rows of a piece of a line with the colours of
// their stretches, the selection, the names of characters shown by name and
// the caret. The view paints the screen with it, and printing paints pages
// with it, so both show the text alike.

#include "TextLayouts.h"

#include <QBrush>
#include <QColor>

class ColorRuns;
class QPainter;

struct TextPaintOptions
{
    QColor text = Qt::black;      // ink of text without a colour of its own
    QColor background = Qt::white; // what the names of characters are cut out with
    const ColorRuns *colors = nullptr;
    int selectionStart = 0;
    int selectionEnd = 0;
    QBrush selectionBackground;
    QBrush selectionText;
    int caret = -1; // where the caret is drawn; -1 for none
    int caretWidth = 1;
    // While an input method composes at the caret: the caret's place in
    // what it composes; -1 otherwise.
    int compositionCursor = -1;
};

class TextPainter
{
public:
    explicit TextPainter(TextLayouts &layouts);

    // Paints the piece of the line whose first row's top left is at origin;
    // rows outside clip are left out.
    void paintPiece(QPainter &painter, int line, int piece, const QPointF &origin, const QRectF &clip,
                    const TextPaintOptions &options);

    // Paints rows from first on, first's top left at origin, down to bottom;
    // pieces outside clip are left out.
    void paintRows(QPainter &painter, RowRef first, const QPointF &origin, qreal bottom, const QRectF &clip,
                   const TextPaintOptions &options);

    // The name a character laid out as a symbol is shown by: "NUL", "LS", "x85", "FDD0".
    static QString symbolName(char16_t c);

private:
    void paintSymbols(QPainter &painter, int line, int piece, const QPointF &origin, const QRectF &clip,
                      const TextPaintOptions &options);

    TextLayouts &m_layouts;
};
