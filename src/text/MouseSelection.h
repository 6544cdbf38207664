#pragma once
// Selecting with the mouse: a press puts the caret down (with Shift, the
// selection's far end), a double click takes a word, a third click soon
// after takes the line, and dragging grows the selection by the unit it
// began with, both ways from what that first unit took.

#include "TextStore.h"

#include <QElapsedTimer>
#include <QPoint>

#include <utility>

class MouseSelection
{
public:
    // A selection: the anchor and where the caret goes.
    using Ends = std::pair<int, int>;

    // A press at position (at point on screen): where the selection goes.
    // extend: Shift was held, so the selection runs from anchor.
    Ends press(const TextStore &store, int position, const QPoint &point, bool extend, int anchor);
    Ends doubleClick(const TextStore &store, int position, const QPoint &point);
    // The mouse moved to position with the button down.
    Ends dragTo(const TextStore &store, int position) const;
    // The button went up; true where a selection was being made.
    bool release();
    bool isSelecting() const { return m_selecting; }

private:
    enum class Unit { Character, Word, Line };

    Unit m_unit = Unit::Character;
    Ends m_origin; // what the first unit took
    bool m_selecting = false;
    QElapsedTimer m_sinceDoubleClick;
    QPoint m_doubleClickAt;
};
