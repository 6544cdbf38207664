#pragma once
// One change of a text, and how a position held elsewhere follows it: the
// caret and the anchor, the top of a view, the ends of coloured stretches.
//
// Every position outside the change keeps pointing at the same character.
// A position inside the removed stretch, or right where text goes in, has
// no old character to follow: it either stays before the new text or moves
// after it, as its holder chooses.

// What a position does where text is inserted right at it (and where the
// text it pointed into is removed).
enum class OnInsert {
    Stay, // before the new text: the end of a stretch that must not grow
    Move, // after the new text: the start of a stretch that must not grow
};

// count characters removed at position and others inserted there; the lines
// after `line` that went and came.
struct TextChange
{
    int position = 0;
    int removed = 0;
    int inserted = 0;
    int line = 0;
    int linesRemoved = 0;
    int linesInserted = 0;

    int map(int at, OnInsert onInsert) const
    {
        if (at < position)
            return at;
        if (at >= position + removed && (at > position || onInsert == OnInsert::Move))
            return at - removed + inserted;
        return onInsert == OnInsert::Stay ? position : position + inserted;
    }
};
