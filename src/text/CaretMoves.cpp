#include "CaretMoves.h"

#include "TextBoundaries.h"

#include <cmath>

namespace CaretMoves {

int rowStart(TextLayouts &layouts, const RowRef &row)
{
    // Qt may wrap a row inside what the keys take as one character (before
    // an emoji's skin tone, say): the row's first whole character then.
    const TextStore &store = layouts.document().store();
    const int start = layouts.rowStart(row);
    return TextBoundaries::isCharacterStart(store, start) ? start : TextBoundaries::nextCharacter(store, start);
}

int rowEnd(TextLayouts &layouts, const RowRef &row)
{
    const int end = layouts.rowEnd(row);
    if (layouts.isLastRowOfLine(row))
        return end;
    return qMax(rowStart(layouts, row), TextBoundaries::previousCharacter(layouts.document().store(), end));
}

int positionInRow(TextLayouts &layouts, const RowRef &row, qreal x)
{
    const TextStore &store = layouts.document().store();
    const int start = layouts.rowStart(row);
    const int end = rowEnd(layouts, row);
    const int position = qBound(start, layouts.positionAtX(row, x), end);
    // Qt's shaping may offer a place inside what the keys take as one
    // character (a conjunct, a jamo cluster, a flag): the nearer of the
    // places around it.
    if (TextBoundaries::isCharacterStart(store, position))
        return position;
    const int before = TextBoundaries::previousCharacter(store, position);
    const int after = TextBoundaries::nextCharacter(store, before);
    if (before < start)
        return qMin(after, end);
    if (after > end)
        return before;
    return std::abs(layouts.xInRow(row, after) - x) < std::abs(layouts.xInRow(row, before) - x) ? after : before;
}

namespace {

// One character to the right or left on screen. In text that reads left to
// right alone that is the next or the previous character; where a direction
// changes, Qt's layout says which place lies next to the caret that way
// (taken on to the next caret stop, where Qt's characters are not ours). At
// the edge of the piece, on to the next or previous line the way the line
// reads.
int characterSideways(TextLayouts &layouts, int position, bool right)
{
    const TextStore &store = layouts.document().store();
    if (layouts.hasRightToLeft(position)) {
        int at = position;
        for (int step = 0; step < 64; ++step) {
            at = layouts.visualStep(at, right);
            if (at < 0)
                break;
            if (TextBoundaries::isCharacterStart(store, at))
                return at;
        }
    }
    return right != layouts.isRightToLeft(position) ? TextBoundaries::nextCharacter(store, position)
                                                    : TextBoundaries::previousCharacter(store, position);
}

// The caret a row away (or a page of rows), at the x it keeps.
Caret vertical(TextLayouts &layouts, const Caret &caret, bool down, int steps, bool page, int *scrolled)
{
    Caret moved = caret;
    if (moved.desiredX < 0)
        moved.desiredX = layouts.xOf(caret.position);
    RowRef row = layouts.rowOf(caret.position);
    int rows = 0;
    while (rows < steps && (down ? layouts.next(row) : layouts.previous(row)))
        ++rows;
    if ((rows < steps && !page) || rows == 0) {
        // Past the first or the last row: to the very start or end.
        moved.position = down ? layouts.document().length() : 0;
        moved.desiredX = -1;
    } else {
        moved.position = positionInRow(layouts, row, moved.desiredX);
    }
    if (page && scrolled)
        *scrolled = down ? rows : -rows;
    return moved;
}

} // namespace

Caret move(TextLayouts &layouts, const Caret &caret, TextCommand command, bool select, int pageRows, int *scrolled)
{
    const TextStore &store = layouts.document().store();
    const int start = qMin(caret.anchor, caret.position);
    const int end = qMax(caret.anchor, caret.position);
    const bool selection = start != end;
    Caret moved{caret.anchor, caret.position, -1};
    if (scrolled)
        *scrolled = 0;
    switch (command) {
    case TextCommand::CharacterRight:
    case TextCommand::CharacterLeft: {
        const bool right = command == TextCommand::CharacterRight;
        if (selection && !select)
            moved.position = right != layouts.isRightToLeft(caret.position) ? end : start;
        else
            moved.position = characterSideways(layouts, caret.position, right);
        break;
    }
    case TextCommand::WordRight:
    case TextCommand::WordLeft:
        // Words go the way the line reads: to the right is the next word in
        // a line that reads left to right, the word before in one that does not.
        moved.position = (command == TextCommand::WordRight) != layouts.isRightToLeft(caret.position)
            ? TextBoundaries::nextWordStart(store, caret.position)
            : TextBoundaries::previousWordStart(store, caret.position);
        break;
    case TextCommand::RowStart:
        moved.position = rowStart(layouts, layouts.rowOf(caret.position));
        break;
    case TextCommand::RowEnd:
        moved.position = rowEnd(layouts, layouts.rowOf(caret.position));
        break;
    case TextCommand::Start:
        moved.position = 0;
        break;
    case TextCommand::End:
        moved.position = store.length();
        break;
    case TextCommand::Down:
    case TextCommand::Up:
        moved = vertical(layouts, caret, command == TextCommand::Down, 1, false, scrolled);
        break;
    case TextCommand::PageDown:
    case TextCommand::PageUp:
        moved = vertical(layouts, caret, command == TextCommand::PageDown, qMax(1, pageRows), true, scrolled);
        break;
    default:
        return caret;
    }
    if (!select)
        moved.anchor = moved.position;
    return moved;
}

} // namespace CaretMoves
