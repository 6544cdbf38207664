#pragma once
// Drops that reach the program's own data device instead of Qt's: mutter
// keeps only a program's newest device, and Weston gives drags to the
// newest, so there Qt's own device no longer sees them. The bridge hands
// them to the window under the drag as Qt's own device would, the dropped
// text read on a thread with progress. Once a drag has come to a window
// through Qt's device (the compositor gives drags to every device of a
// program, or to its first), it leaves them to Qt.

#include <QPoint>
#include <QPointer>
#include <QtGlobal>

#include <wayland-util.h>

#include <memory>

class QMimeData;
class QObject;
class QWindow;
class WaylandOffer;
struct wl_surface;

class WaylandDropBridge
{
public:
    WaylandDropBridge();
    ~WaylandDropBridge();
    WaylandDropBridge(const WaylandDropBridge &) = delete;
    WaylandDropBridge &operator=(const WaylandDropBridge &) = delete;

    // What the compositor says of a drag over the program's surfaces.
    void enter(std::unique_ptr<WaylandOffer> offer, uint32_t serial, wl_surface *surface, wl_fixed_t x, wl_fixed_t y);
    void motion(wl_fixed_t x, wl_fixed_t y);
    void leave();
    void drop();

private:
    bool takesDrops() const { return !m_qtTakesDrops; }
    QPoint dragPoint(wl_fixed_t x, wl_fixed_t y) const;
    void dragTo(const QPoint &point);
    void deliverDrop();
    void endDrag();

    // Tells which drags reach the windows through Qt, and runs the queued drop.
    std::unique_ptr<QObject> m_watch;
    bool m_qtTakesDrops = false;
    // The drag passing over a window of ours.
    std::unique_ptr<WaylandOffer> m_dragged;
    uint32_t m_serial = 0;
    QPointer<QWindow> m_window;
    QPoint m_point;
    std::unique_ptr<QMimeData> m_data;
    Qt::DropAction m_action = Qt::IgnoreAction;
    bool m_dropped = false;
};
