#include "WaylandDataDevice.h"

#include "ProgressWait.h"
#include "SelectionTransfer.h"
#include "WaitUntil.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QWindow>

#include <qpa/qplatformdrag.h>
#include <qpa/qplatformnativeinterface.h>
#include <qpa/qwindowsysteminterface.h>
#include <wayland-client.h>

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <memory>

namespace WaylandDataDevice {

namespace {

// The types a holder may offer text as, best first.
struct TextType
{
    const char *name;
    bool latin1;
};
constexpr TextType TextTypes[] = {
    {"text/plain;charset=utf-8", false}, {"UTF8_STRING", false}, {"text/plain", false},
    {"STRING", true}, {"TEXT", false},
};

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

// The program's own data device and what the compositor has offered it.
class Device
{
public:
    // The program's device, made on first use; null where there is none.
    static Device *instance()
    {
        if (!s_tried) {
            s_tried = true;
            auto *made = new Device;
            if (made->open())
                s_device = made;
            else
                delete made;
        }
        return s_device;
    }
    static void remove()
    {
        delete s_device;
        s_device = nullptr;
    }
    // The compositor does not answer the device's requests.
    void markUnanswered() { m_unanswered = true; }
    bool answered() const { return !m_unanswered; }
    ~Device() { close(); }

    // Takes in what the compositor sent since the last time.
    void catchUp()
    {
        if (m_queue)
            wl_display_dispatch_queue_pending(m_display, m_queue);
    }
    bool offered() const { return m_offered; }
    Request requestText() { return request(m_selection, m_selectionTypes); }

    // What the compositor sends.
    static void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version);
    static void globalRemoved(void *, wl_registry *, uint32_t) {}
    static void dataOffer(void *data, wl_data_device *, wl_data_offer *offer);
    static void enter(void *data, wl_data_device *, uint32_t, wl_surface *, wl_fixed_t, wl_fixed_t, wl_data_offer *offer);
    static void leave(void *data, wl_data_device *);
    static void motion(void *data, wl_data_device *, uint32_t, wl_fixed_t x, wl_fixed_t y);
    static void drop(void *data, wl_data_device *);
    static void selection(void *data, wl_data_device *, wl_data_offer *offer);
    static void offerType(void *data, wl_data_offer *offer, const char *type);
    static void sourceActions(void *, wl_data_offer *, uint32_t) {}
    static void action(void *, wl_data_offer *, uint32_t) {}

private:
    bool open();
    void close();
    Request request(wl_data_offer *offer, const QByteArrayList &types);

    // Drops, where Qt's own device does not take them.
    bool takesDrops() const { return !m_qtTakesDrops; }
    QPoint dragPoint(wl_fixed_t x, wl_fixed_t y) const;
    void dragTo(const QPoint &point);
    void deliverDrop();
    void endDrag();

    static inline bool s_tried = false;
    static inline Device *s_device = nullptr;

    wl_display *m_display = nullptr;
    wl_event_queue *m_queue = nullptr;
    wl_registry *m_registry = nullptr;
    wl_data_device_manager *m_manager = nullptr;
    wl_data_device *m_device = nullptr;
    // Offers being introduced, with the types they come in.
    std::map<wl_data_offer *, QByteArrayList> m_introduced;
    wl_data_offer *m_selection = nullptr;
    QByteArrayList m_selectionTypes;
    bool m_offered = false;
    bool m_unanswered = false;
    // Whether Qt's own device hands drags to the program's windows: where
    // it does (the compositor gives drags to every device of a program, or
    // to its first), this device leaves them to it.
    bool m_qtTakesDrops = false;
    std::unique_ptr<QObject> m_dragWatch;
    QMetaObject::Connection m_dispatch;
    // A drag passing over a window of ours.
    wl_data_offer *m_dragged = nullptr;
    QByteArrayList m_draggedTypes;
    uint32_t m_dragSerial = 0;
    QPointer<QWindow> m_dragWindow;
    QPoint m_dragPoint;
    std::unique_ptr<QMimeData> m_dragData;
    Qt::DropAction m_dropAction = Qt::IgnoreAction;
    bool m_dropped = false;
};

const wl_registry_listener RegistryListener = {&Device::global, &Device::globalRemoved};

bool Device::open()
{
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    if (!native || !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return false;
    m_display = static_cast<wl_display *>(native->nativeResourceForIntegration("wl_display"));
    auto *seat = static_cast<wl_seat *>(native->nativeResourceForIntegration("wl_seat"));
    if (!m_display || !seat)
        return false;
    // Everything of ours comes on a queue of our own, apart from Qt's.
    m_queue = wl_display_create_queue(m_display);
    auto *display = static_cast<wl_display *>(wl_proxy_create_wrapper(m_display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(display), m_queue);
    m_registry = wl_display_get_registry(display);
    wl_proxy_wrapper_destroy(display);
    wl_registry_add_listener(m_registry, &RegistryListener, this);
    if (wl_display_roundtrip_queue(m_display, m_queue) < 0 || !m_manager) {
        close();
        return false;
    }
    static const wl_data_device_listener deviceListener = {&Device::dataOffer, &Device::enter, &Device::leave,
                                                           &Device::motion, &Device::drop, &Device::selection};
    m_device = wl_data_device_manager_get_data_device(m_manager, seat);
    wl_data_device_add_listener(m_device, &deviceListener, this);
    // A compositor tells a new device at once what is offered, where the program has the focus.
    wl_display_roundtrip_queue(m_display, m_queue);
    // What comes for the device is taken in whenever the program has
    // handled its events, so drags are followed as they move.
    m_dispatch = QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                                  [this] { catchUp(); });
    // Drags that reach a window without coming through this device come
    // through Qt's own.
    m_dragWatch = std::make_unique<DragWatch>([this](const QMimeData *data) {
        if (data != m_dragData.get())
            m_qtTakesDrops = true;
    });
    qApp->installEventFilter(m_dragWatch.get());
    // The connection goes with the application: what is ours goes first.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { remove(); });
    return true;
}

void Device::close()
{
    QObject::disconnect(m_dispatch);
    m_dragWatch.reset();
    endDrag();
    for (const auto &introduced : m_introduced)
        wl_data_offer_destroy(introduced.first);
    m_introduced.clear();
    if (m_selection)
        wl_data_offer_destroy(m_selection);
    m_selection = nullptr;
    if (m_device && wl_data_device_get_version(m_device) >= WL_DATA_DEVICE_RELEASE_SINCE_VERSION)
        wl_data_device_release(m_device);
    else if (m_device)
        wl_data_device_destroy(m_device);
    if (m_manager)
        wl_data_device_manager_destroy(m_manager);
    if (m_registry)
        wl_registry_destroy(m_registry);
    if (m_queue)
        wl_event_queue_destroy(m_queue);
    m_device = nullptr;
    m_manager = nullptr;
    m_registry = nullptr;
    m_queue = nullptr;
}

void Device::global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
{
    auto *self = static_cast<Device *>(data);
    if (qstrcmp(interface, wl_data_device_manager_interface.name) == 0 && !self->m_manager)
        self->m_manager = static_cast<wl_data_device_manager *>(
            wl_registry_bind(registry, name, &wl_data_device_manager_interface, qMin<uint32_t>(version, 3)));
}

void Device::dataOffer(void *data, wl_data_device *, wl_data_offer *offer)
{
    static const wl_data_offer_listener offerListener = {&Device::offerType, &Device::sourceActions,
                                                         &Device::action};
    auto *self = static_cast<Device *>(data);
    self->m_introduced[offer];
    wl_data_offer_add_listener(offer, &offerListener, self);
}

void Device::offerType(void *data, wl_data_offer *offer, const char *type)
{
    auto *self = static_cast<Device *>(data);
    const auto found = self->m_introduced.find(offer);
    if (found != self->m_introduced.end())
        found->second.append(QByteArray(type));
}

void Device::enter(void *data, wl_data_device *, uint32_t serial, wl_surface *surface, wl_fixed_t x, wl_fixed_t y,
                   wl_data_offer *offer)
{
    auto *self = static_cast<Device *>(data);
    self->endDrag();
    self->m_dragged = offer;
    self->m_draggedTypes = self->m_introduced[offer];
    self->m_introduced.erase(offer);
    self->m_dragSerial = serial;
    if (!self->takesDrops() || !offer)
        return; // Qt's own device has it too
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    for (QWindow *window : QGuiApplication::allWindows()) {
        if (native->nativeResourceForWindow("surface", window) == static_cast<void *>(surface))
            self->m_dragWindow = window;
    }
    if (!self->m_dragWindow)
        return;
    self->m_dragData = std::make_unique<QMimeData>();
    if (self->request(nullptr, self->m_draggedTypes).type)
        self->m_dragData->setData(QStringLiteral("text/plain"), QByteArray()); // the text comes with the drop
    self->dragTo(self->dragPoint(x, y));
}

void Device::motion(void *data, wl_data_device *, uint32_t, wl_fixed_t x, wl_fixed_t y)
{
    auto *self = static_cast<Device *>(data);
    if (self->m_dragWindow)
        self->dragTo(self->dragPoint(x, y));
}

void Device::leave(void *data, wl_data_device *)
{
    auto *self = static_cast<Device *>(data);
    if (self->m_dropped)
        return; // a compositor leaves right after the drop: the drop is taken in first
    if (self->m_dragWindow)
        QWindowSystemInterface::handleDrag(self->m_dragWindow, nullptr, QPoint(), Qt::IgnoreAction,
                                           QGuiApplication::mouseButtons(), QGuiApplication::keyboardModifiers());
    self->endDrag();
}

void Device::drop(void *data, wl_data_device *)
{
    auto *self = static_cast<Device *>(data);
    // Taken in once the compositor's events are through: the text is read
    // while the program goes on handling its events.
    self->m_dropped = self->m_dragWindow != nullptr;
    if (self->m_dropped)
        QMetaObject::invokeMethod(qApp, [] {
            if (s_device)
                s_device->deliverDrop();
        }, Qt::QueuedConnection);
}

QPoint Device::dragPoint(wl_fixed_t x, wl_fixed_t y) const
{
    // The surface holds the window's frame too, where the program draws it.
    const QMargins frame = m_dragWindow ? m_dragWindow->frameMargins() : QMargins();
    return QPoint(wl_fixed_to_int(x) - frame.left(), wl_fixed_to_int(y) - frame.top());
}

void Device::dragTo(const QPoint &point)
{
    m_dragPoint = point;
    const QPlatformDragQtResponse response = QWindowSystemInterface::handleDrag(
        m_dragWindow, m_dragData.get(), point, Qt::CopyAction | Qt::MoveAction, QGuiApplication::mouseButtons(),
        QGuiApplication::keyboardModifiers());
    m_dropAction = response.isAccepted() ? response.acceptedAction() : Qt::IgnoreAction;
    const Request wanted = request(nullptr, m_draggedTypes);
    const bool text = wanted.type && m_dropAction != Qt::IgnoreAction;
    if (wl_data_offer_get_version(m_dragged) >= WL_DATA_OFFER_SET_ACTIONS_SINCE_VERSION)
        wl_data_offer_set_actions(m_dragged, WL_DATA_DEVICE_MANAGER_DND_ACTION_COPY | WL_DATA_DEVICE_MANAGER_DND_ACTION_MOVE,
                                  text && m_dropAction == Qt::MoveAction ? WL_DATA_DEVICE_MANAGER_DND_ACTION_MOVE
                                                                         : WL_DATA_DEVICE_MANAGER_DND_ACTION_COPY);
    wl_data_offer_accept(m_dragged, m_dragSerial, text ? wanted.type : nullptr);
}

void Device::deliverDrop()
{
    if (!m_dragWindow || !m_dragged || m_dropAction == Qt::IgnoreAction || m_qtTakesDrops) {
        endDrag();
        return;
    }
    const Request asked = request(m_dragged, m_draggedTypes);
    if (asked.fd >= 0) {
        // The drag may come from this very program, whose Qt writes the
        // text as its events go on: it is read on a thread meanwhile.
        auto dropped = std::make_shared<QString>();
        const SelectionTransfer::SharedPipe pipe = SelectionTransfer::sharePipe(asked.fd);
        sys::ProgressWait wait(QApplication::activeWindow(),
                               QCoreApplication::translate("Clipboard", "Taking the dropped text..."),
                               QStringLiteral("drop_progress"));
        const bool latin1 = asked.latin1;
        if (wait.run([dropped, pipe, latin1] { SelectionTransfer::readText(*pipe, latin1, nullptr, dropped.get()); })
                == sys::ProgressWait::Outcome::Finished
            && m_dragWindow && m_dragData)
            m_dragData->setText(*dropped);
    }
    if (m_dragWindow && m_dragData) {
        QWindowSystemInterface::handleDrop(m_dragWindow, m_dragData.get(), m_dragPoint, Qt::CopyAction | Qt::MoveAction,
                                           QGuiApplication::mouseButtons(), QGuiApplication::keyboardModifiers());
        if (m_dragged && wl_data_offer_get_version(m_dragged) >= WL_DATA_OFFER_FINISH_SINCE_VERSION)
            wl_data_offer_finish(m_dragged);
    }
    endDrag();
}

void Device::endDrag()
{
    if (m_dragged)
        wl_data_offer_destroy(m_dragged);
    m_dragged = nullptr;
    m_draggedTypes.clear();
    m_dragWindow = nullptr;
    m_dragData.reset();
    m_dropAction = Qt::IgnoreAction;
    m_dropped = false;
}

void Device::selection(void *data, wl_data_device *, wl_data_offer *offer)
{
    auto *self = static_cast<Device *>(data);
    if (self->m_selection && self->m_selection != offer)
        wl_data_offer_destroy(self->m_selection);
    self->m_selection = offer;
    self->m_selectionTypes = offer ? self->m_introduced[offer] : QByteArrayList();
    self->m_introduced.erase(offer);
    self->m_offered = true;
}

Request Device::request(wl_data_offer *offer, const QByteArrayList &types)
{
    for (const TextType &type : TextTypes) {
        if (!types.contains(QByteArray(type.name)))
            continue;
        Request asked;
        asked.type = type.name;
        asked.latin1 = type.latin1;
        int ends[2];
        if (!offer || ::pipe2(ends, O_CLOEXEC) != 0)
            return asked; // only which type it would be
        wl_data_offer_receive(offer, type.name, ends[1]);
        wl_display_flush(m_display);
        ::close(ends[1]); // the holder has its own copy now
        asked.fd = ends[0];
        return asked;
    }
    return {}; // nothing offered as text
}

} // namespace

bool available()
{
    Device *device = Device::instance();
    return device && device->answered();
}

bool waitForOffer(int waitMs)
{
    Device *device = Device::instance();
    if (!device)
        return false;
    return sys::waitUntil([device] {
        device->catchUp();
        return device->offered();
    }, waitMs, QEventLoop::ExcludeUserInputEvents, 5);
}

Request requestText()
{
    Device *device = Device::instance();
    if (!device)
        return {};
    device->catchUp();
    return device->requestText();
}

void giveUp()
{
    if (Device *device = Device::instance())
        device->markUnanswered();
}

} // namespace WaylandDataDevice
