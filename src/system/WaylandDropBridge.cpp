#include "WaylandDropBridge.h"

#include "ProgressWait.h"
#include "SelectionTransfer.h"
#include "WaylandOffer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QWindow>

#include <qpa/qplatformdrag.h>
#include <qpa/qplatformnativeinterface.h>
#include <qpa/qwindowsysteminterface.h>
#include <wayland-client.h>

#include <functional>

namespace {

// Tells of every drag event that reaches a window of the program.
class DragWatch : public QObject
{
public:
    explicit DragWatch(std::function<void(const QMimeData *)> seen)
        : m_seen(std::move(seen))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove || event->type() == QEvent::Drop)
            m_seen(static_cast<QDropEvent *>(event)->mimeData());
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(const QMimeData *)> m_seen;
};

} // namespace

WaylandDropBridge::WaylandDropBridge()
{
    // Drags that reach a window without coming through the bridge come through Qt's own device.
    m_watch = std::make_unique<DragWatch>([this](const QMimeData *data) {
        if (data != m_data.get())
            m_qtTakesDrops = true;
    });
    qApp->installEventFilter(m_watch.get());
}

WaylandDropBridge::~WaylandDropBridge()
{
    endDrag();
}

void WaylandDropBridge::enter(std::unique_ptr<WaylandOffer> offer, uint32_t serial, wl_surface *surface, wl_fixed_t x,
                              wl_fixed_t y)
{
    endDrag();
    m_dragged = std::move(offer);
    m_serial = serial;
    if (!takesDrops() || !m_dragged)
        return; // Qt's own device has it too
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    for (QWindow *window : QGuiApplication::allWindows()) {
        if (native->nativeResourceForWindow("surface", window) == static_cast<void *>(surface))
            m_window = window;
    }
    if (!m_window)
        return;
    m_data = std::make_unique<QMimeData>();
    if (WaylandText::best(m_dragged->types()).name)
        m_data->setData(QStringLiteral("text/plain"), QByteArray()); // the text comes with the drop
    dragTo(dragPoint(x, y));
}

void WaylandDropBridge::motion(wl_fixed_t x, wl_fixed_t y)
{
    if (m_window)
        dragTo(dragPoint(x, y));
}

void WaylandDropBridge::leave()
{
    if (m_dropped)
        return; // a compositor leaves right after the drop: the drop is taken in first
    if (m_window)
        QWindowSystemInterface::handleDrag(m_window, nullptr, QPoint(), Qt::IgnoreAction,
                                           QGuiApplication::mouseButtons(), QGuiApplication::keyboardModifiers());
    endDrag();
}

void WaylandDropBridge::drop()
{
    // Taken in once the compositor's events are through: the text is read
    // while the program goes on handling its events.
    m_dropped = m_window != nullptr;
    if (m_dropped)
        QMetaObject::invokeMethod(m_watch.get(), [this] { deliverDrop(); }, Qt::QueuedConnection);
}

QPoint WaylandDropBridge::dragPoint(wl_fixed_t x, wl_fixed_t y) const
{
    // The surface holds the window's frame too, where the program draws it.
    const QMargins frame = m_window ? m_window->frameMargins() : QMargins();
    return QPoint(wl_fixed_to_int(x) - frame.left(), wl_fixed_to_int(y) - frame.top());
}

void WaylandDropBridge::dragTo(const QPoint &point)
{
    m_point = point;
    const QPlatformDragQtResponse response = QWindowSystemInterface::handleDrag(
        m_window, m_data.get(), point, Qt::CopyAction | Qt::MoveAction, QGuiApplication::mouseButtons(),
        QGuiApplication::keyboardModifiers());
    m_action = response.isAccepted() ? response.acceptedAction() : Qt::IgnoreAction;
    const char *type = WaylandText::best(m_dragged->types()).name;
    const bool text = type && m_action != Qt::IgnoreAction;
    wl_data_offer *offer = m_dragged->get();
    if (wl_data_offer_get_version(offer) >= WL_DATA_OFFER_SET_ACTIONS_SINCE_VERSION)
        wl_data_offer_set_actions(offer, WL_DATA_DEVICE_MANAGER_DND_ACTION_COPY | WL_DATA_DEVICE_MANAGER_DND_ACTION_MOVE,
                                  text && m_action == Qt::MoveAction ? WL_DATA_DEVICE_MANAGER_DND_ACTION_MOVE
                                                                     : WL_DATA_DEVICE_MANAGER_DND_ACTION_COPY);
    wl_data_offer_accept(offer, m_serial, text ? type : nullptr);
}

void WaylandDropBridge::deliverDrop()
{
    if (!m_window || !m_dragged || m_action == Qt::IgnoreAction || m_qtTakesDrops) {
        endDrag();
        return;
    }
    const WaylandText::Request asked = m_dragged->askForText();
    if (asked.fd >= 0) {
        // The drag may come from this very program, whose Qt writes the
        // text as its events go on: it is read on a thread meanwhile.
        auto dropped = std::make_shared<QString>();
        const SelectionTransfer::SharedPipe pipe = SelectionTransfer::sharePipe(asked.fd);
        sys::ProgressWait wait(QApplication::activeWindow(),
                               QCoreApplication::translate("Clipboard", "Taking the dropped text..."),
                               QStringLiteral("drop_progress"));
        const bool latin1 = asked.type.latin1;
        if (wait.run([dropped, pipe, latin1] { SelectionTransfer::readText(*pipe, latin1, nullptr, dropped.get()); })
                == sys::ProgressWait::Outcome::Finished
            && m_window && m_data)
            m_data->setText(*dropped);
    }
    if (m_window && m_data) {
        QWindowSystemInterface::handleDrop(m_window, m_data.get(), m_point, Qt::CopyAction | Qt::MoveAction,
                                           QGuiApplication::mouseButtons(), QGuiApplication::keyboardModifiers());
        if (m_dragged && wl_data_offer_get_version(m_dragged->get()) >= WL_DATA_OFFER_FINISH_SINCE_VERSION)
            wl_data_offer_finish(m_dragged->get());
    }
    endDrag();
}

void WaylandDropBridge::endDrag()
{
    m_dragged.reset();
    m_window = nullptr;
    m_data.reset();
    m_action = Qt::IgnoreAction;
    m_dropped = false;
}
