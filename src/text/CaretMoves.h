#pragma once
// Where the caret goes: every move a key makes, as a function of the laid-out
// text and of where the caret stands, apart from any widget. A place taken
// from a point on the screen (a click, a move up or down, a drop) is a place
// the caret may stand, as the keys would reach it.

#include "TextKeys.h"
#include "TextLayouts.h"

namespace CaretMoves {

struct Caret
{
    int anchor = 0;
    int position = 0;
    // The x the caret keeps while it goes up and down; -1 while none is kept.
    qreal desiredX = -1;
    friend bool operator==(const Caret &, const Caret &) = default;
};

// Where a move takes the caret; with select, the selection's far end moves
// and its anchor stays. pageRows: how many rows a page move goes. For a page
// move, *scrolled says by how many rows the view goes with it (down is
// positive).
Caret move(TextLayouts &layouts, const Caret &caret, TextCommand move, bool select, int pageRows,
           int *scrolled = nullptr);

// The place nearest x on row where the caret may stand.
int positionInRow(TextLayouts &layouts, const RowRef &row, qreal x);

// The first place on row where the caret stands: its start, or where its
// first whole character starts where Qt wrapped inside one.
int rowStart(TextLayouts &layouts, const RowRef &row);

// The last place on row where the caret stands: its end, but for a row that
// wraps, just before the character that goes on (the end of such a row is
// the start of the next one).
int rowEnd(TextLayouts &layouts, const RowRef &row);

} // namespace CaretMoves
