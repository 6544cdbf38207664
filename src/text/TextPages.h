#pragma once
// A text laid out for pages (of a printer, say) and painted one page at a
// time with the view's own painter: rows wrap at the page's width in the
// given font, as the device measures it; a row is never cut by a page's end;
// only the text is painted, in black. Laying out goes along with painting,
// so a text of any length costs the memory of a few pages' layouts.
//
// The document must not change while pages are painted.

#include "TextLayouts.h"
#include "TextPainter.h"

class QPaintDevice;
class QPainter;

class TextPages
{
public:
    // pageSize in the device's pixels; font as on the screen, measured anew
    // for the device.
    TextPages(const TextDocument &document, const QFont &font, QPaintDevice *device, const QSizeF &pageSize);

    bool atEnd() const { return m_atEnd; }
    // Paints the next page at the painter's origin and moves past it.
    void paintNextPage(QPainter &painter);
    // How far the pages have come: lines of the text painted so far.
    int linesDone() const { return m_atEnd ? lineCount() : m_next.line; }
    int lineCount() const;
    // Rows of the font's own height a page holds (taller rows take more room).
    int rowsPerPage() const { return m_rowsPerPage; }

private:
    TextLayouts m_layouts;
    TextPainter m_painter;
    QSizeF m_pageSize;
    int m_rowsPerPage = 1; // of the font's own height
    int m_pageHeight = 1;
    RowRef m_next;
    bool m_atEnd = false;
};
