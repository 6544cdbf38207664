#include "MouseSelection.h"

#include "TextBoundaries.h"

#include <QApplication>
#include <QStyleHints>

MouseSelection::Ends MouseSelection::press(const TextStore &store, int position, const QPoint &point, bool extend,
                                           int anchor)
{
    m_selecting = true;
    const bool third = m_sinceDoubleClick.isValid()
        && m_sinceDoubleClick.elapsed() < QGuiApplication::styleHints()->mouseDoubleClickInterval()
        && (point - m_doubleClickAt).manhattanLength() < QApplication::startDragDistance();
    m_sinceDoubleClick.invalidate();
    if (third) {
        m_unit = Unit::Line;
        m_origin = TextBoundaries::lineAt(store, position);
        return m_origin;
    }
    m_unit = Unit::Character;
    m_origin = extend ? Ends{anchor, anchor} : Ends{position, position};
    return {m_origin.first, position};
}

MouseSelection::Ends MouseSelection::doubleClick(const TextStore &store, int position, const QPoint &point)
{
    m_selecting = true;
    m_unit = Unit::Word;
    m_origin = TextBoundaries::wordAt(store, position);
    m_doubleClickAt = point;
    m_sinceDoubleClick.start();
    return m_origin;
}

MouseSelection::Ends MouseSelection::dragTo(const TextStore &store, int position) const
{
    Ends unit{position, position};
    if (m_unit == Unit::Word)
        unit = TextBoundaries::wordAt(store, position);
    else if (m_unit == Unit::Line)
        unit = TextBoundaries::lineAt(store, position);
    if (unit.first < m_origin.first)
        return {m_origin.second, unit.first};
    return {m_origin.first, qMax(unit.second, m_origin.second)};
}

bool MouseSelection::release()
{
    const bool was = m_selecting;
    m_selecting = false;
    return was;
}
