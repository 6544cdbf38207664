#pragma once
// Which rows a view shows. Its place is kept by the text at its top, so an
// edit elsewhere does not move what is seen; it never scrolls past the last
// row (the last row stays at the bottom, not above it). Rows are as tall as
// the layouts say (most the font's own row height, some taller), so where
// a row stands is the sum of the rows above it. Walking up from a row
// while the rows fit, which scrolling to the end, keeping the caret in view
// and clamping all need, is done in one place.

#include "TextLayouts.h"

#include <QRect>
#include <optional>

class QScrollBar;

class TextViewport
{
public:
    // Rows start this far from the view's left and top edges.
    static constexpr int LeftMargin = 4;
    static constexpr int RightMargin = 4;
    static constexpr int TopMargin = 2;

    explicit TextViewport(TextLayouts &layouts);

    // The height rows may take, below the top margin.
    void setHeight(int pixels) { m_height = qMax(1, pixels); }
    // How many rows fit, from the top row down (rows of the font's own
    // height past the last); at least one.
    int rows();

    // The row at the top, and the position of its first character.
    RowRef top();
    int topPosition();
    // Each of these says whether the top moved.
    bool setTop(const RowRef &row);
    bool scroll(int rows);
    bool scrollToEnd();
    // Brings the last row down to the bottom where it has risen above it.
    bool clamp();
    // Scrolls as little as it takes to show row: to the top where it is
    // above, to the bottom where it is below.
    bool show(const RowRef &row);

    // Where row's top stands below the top margin, for a row on screen (the
    // one the bottom edge cuts too); none where it is not on screen.
    std::optional<int> offsetOnScreen(const RowRef &row);

    // The position at the top follows each change of the text, and goes
    // back to the start when the whole text is replaced.
    void follow(const TextChange &change);
    void reset() { m_top = 0; }

    // Where things are in the view's own coordinates: the top of a row
    // (none where it is not shown), the caret at position (for a caret in
    // what an input method composes, compositionCursor is its place there),
    // a character's box, and the caret stop nearest a point.
    std::optional<int> rowY(const RowRef &row);
    QRect caretRect(int position, int compositionCursor, int caretWidth);
    QRect characterRect(int position);
    int positionAt(const QPoint &point);
    // What to paint again in a view of size when a line changes: its rows,
    // or everything below its first row.
    QRect rowsRect(int fromLine, bool toBottom, const QSize &size);

    // A vertical scroll bar shows the top row among all rows (estimated
    // above it); moved by the user, it moves the top, its ends standing for
    // the very first and the very last rows.
    void showOn(QScrollBar &bar);
    bool followScrollBar(const QScrollBar &bar);

private:
    // The highest row from which the rows down to row, that one included,
    // fit in the view (row itself where it is taller than the view).
    RowRef fittingAbove(RowRef row);
    // The top row that shows the last row at the bottom.
    RowRef lastTop();

    TextLayouts &m_layouts;
    int m_top = 0; // the first character of the top row
    int m_height = 1;
};
