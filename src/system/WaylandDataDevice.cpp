#include "WaylandDataDevice.h"

#include "WaitUntil.h"
#include "WaylandDropBridge.h"
#include "WaylandOffer.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QGuiApplication>

#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include <map>

struct IntroducedOffers
{
    std::map<wl_data_offer *, std::unique_ptr<WaylandOffer>> offers;

    std::unique_ptr<WaylandOffer> take(wl_data_offer *offer)
    {
        const auto found = offers.find(offer);
        if (found == offers.end())
            return nullptr;
        std::unique_ptr<WaylandOffer> taken = std::move(found->second);
        offers.erase(found);
        return taken;
    }
};

std::unique_ptr<WaylandDataDevice> WaylandDataDevice::make()
{
    std::unique_ptr<WaylandDataDevice> device(new WaylandDataDevice);
    if (!device->open())
        return nullptr;
    return device;
}

WaylandDataDevice::~WaylandDataDevice()
{
    close();
}

bool WaylandDataDevice::open()
{
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    if (!native || !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return false;
    m_display = static_cast<wl_display *>(native->nativeResourceForIntegration("wl_display"));
    auto *seat = static_cast<wl_seat *>(native->nativeResourceForIntegration("wl_seat"));
    if (!m_display || !seat)
        return false;
    m_introduced = std::make_unique<IntroducedOffers>();
    // Everything of ours comes on a queue of our own, apart from Qt's.
    m_queue = wl_display_create_queue(m_display);
    auto *display = static_cast<wl_display *>(wl_proxy_create_wrapper(m_display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(display), m_queue);
    m_registry = wl_display_get_registry(display);
    wl_proxy_wrapper_destroy(display);
    static const wl_registry_listener registryListener = {&WaylandDataDevice::global,
                                                          &WaylandDataDevice::globalRemoved};
    wl_registry_add_listener(m_registry, &registryListener, this);
    if (wl_display_roundtrip_queue(m_display, m_queue) < 0 || !m_manager || m_servesOnlyItsLastOffer) {
        close();
        return false;
    }

    static const wl_data_device_listener deviceListener = {
        // data_offer: a new offer, its kinds told next
        [](void *data, wl_data_device *, wl_data_offer *offer) {
            auto *self = static_cast<WaylandDataDevice *>(data);
            self->m_introduced->offers[offer] = std::make_unique<WaylandOffer>(offer, self->m_display);
        },
        // enter: a drag comes over a surface of ours
        [](void *data, wl_data_device *, uint32_t serial, wl_surface *surface, wl_fixed_t x, wl_fixed_t y,
           wl_data_offer *offer) {
            auto *self = static_cast<WaylandDataDevice *>(data);
            self->m_drops->enter(self->m_introduced->take(offer), serial, surface, x, y);
        },
        [](void *data, wl_data_device *) { static_cast<WaylandDataDevice *>(data)->m_drops->leave(); },
        [](void *data, wl_data_device *, uint32_t, wl_fixed_t x, wl_fixed_t y) {
            static_cast<WaylandDataDevice *>(data)->m_drops->motion(x, y);
        },
        [](void *data, wl_data_device *) { static_cast<WaylandDataDevice *>(data)->m_drops->drop(); },
        // selection: what the clipboard holds now (null: nothing)
        [](void *data, wl_data_device *, wl_data_offer *offer) {
            auto *self = static_cast<WaylandDataDevice *>(data);
            self->m_selection = self->m_introduced->take(offer);
            self->m_offered = true;
        }};
    m_drops = std::make_unique<WaylandDropBridge>();
    m_device = wl_data_device_manager_get_data_device(m_manager, seat);
    wl_data_device_add_listener(m_device, &deviceListener, this);
    // A compositor tells a new device at once what is offered, where the program has the focus.
    wl_display_roundtrip_queue(m_display, m_queue);
    // What comes for the device is taken in whenever the program has
    // handled its events, so drags are followed as they move; and the
    // connection goes with the application, so what is ours goes first.
    m_life = std::make_unique<QObject>();
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, m_life.get(),
                     [this] { catchUp(); });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, m_life.get(), [this] { close(); });
    return true;
}

void WaylandDataDevice::close()
{
    if (!m_display)
        return;
    if (!QCoreApplication::instance()) {
        // Qt's connection is gone with the application, and what was on it.
        m_display = nullptr;
        return;
    }
    m_life.reset();
    m_drops.reset();
    m_introduced.reset();
    m_selection.reset();
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
    m_display = nullptr;
}

void WaylandDataDevice::global(void *data, wl_registry *registry, uint32_t name, const char *interface,
                               uint32_t version)
{
    auto *self = static_cast<WaylandDataDevice *>(data);
    if (qstrcmp(interface, wl_data_device_manager_interface.name) == 0 && !self->m_manager)
        self->m_manager = static_cast<wl_data_device_manager *>(
            wl_registry_bind(registry, name, &wl_data_device_manager_interface, qMin<uint32_t>(version, 3)));
    // Weston's own interfaces tell Weston, which serves only the offer it made last.
    if (QByteArray(interface).startsWith("weston_"))
        self->m_servesOnlyItsLastOffer = true;
}

void WaylandDataDevice::catchUp()
{
    if (m_queue)
        wl_display_dispatch_queue_pending(m_display, m_queue);
}

bool WaylandDataDevice::waitUntil(const std::function<bool()> &ready, int waitMs)
{
    return sys::waitUntil([&] {
        catchUp();
        return ready();
    }, waitMs, QEventLoop::ExcludeUserInputEvents, 5);
}
