#include "DataControlReader.h"

#include "WaylandText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>

#include "wlr-data-control-unstable-v1-client-protocol.h"
#include <wayland-client.h>

#include <cerrno>
#include <poll.h>

namespace sys {

using SelectionTransfer::Outcome;

namespace {

// How long the compositor may take to answer.
constexpr int CompositorWaitMs = 2000;

} // namespace

std::unique_ptr<ClipboardReader> DataControlReader::open()
{
    std::unique_ptr<DataControlReader> reader(new DataControlReader);
    if (!reader->connect())
        return nullptr;
    return reader;
}

DataControlReader::~DataControlReader()
{
    close();
}

bool DataControlReader::connect()
{
    m_display = wl_display_connect(nullptr);
    if (!m_display)
        return false;
    static const wl_registry_listener registryListener = {
        [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
            auto *self = static_cast<DataControlReader *>(data);
            if (qstrcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0 && !self->m_manager)
                self->m_manager = static_cast<zwlr_data_control_manager_v1 *>(
                    wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
            else if (qstrcmp(interface, wl_seat_interface.name) == 0 && !self->m_seat)
                self->m_seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        },
        [](void *, wl_registry *, uint32_t) {}};
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &registryListener, this);
    if (!catchUp(CompositorWaitMs) || !m_manager || !m_seat) {
        close();
        return false;
    }
    static const zwlr_data_control_device_v1_listener deviceListener = {&DataControlReader::dataOffer,
                                                                        &DataControlReader::selection,
                                                                        &DataControlReader::finished};
    m_device = zwlr_data_control_manager_v1_get_data_device(m_manager, m_seat);
    zwlr_data_control_device_v1_add_listener(m_device, &deviceListener, this);
    // The compositor says at once what the clipboard holds.
    if (!catchUp(CompositorWaitMs)) {
        close();
        return false;
    }
    // What it says later is taken in as it comes, so nothing piles up
    // unread; the connection goes with the application.
    auto *notifier = new QSocketNotifier(wl_display_get_fd(m_display), QSocketNotifier::Read);
    m_notifier.reset(notifier);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [this] { takeIn(); });
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, notifier, [this] { close(); });
    return true;
}

void DataControlReader::close()
{
    if (!m_display)
        return;
    if (QCoreApplication::instance())
        m_notifier.reset();
    else
        (void)m_notifier.release(); // its event loop is gone with the application
    forget(m_introduced);
    forget(m_selection);
    if (m_device)
        zwlr_data_control_device_v1_destroy(m_device);
    if (m_manager)
        zwlr_data_control_manager_v1_destroy(m_manager);
    if (m_seat)
        wl_seat_destroy(m_seat);
    if (m_registry)
        wl_registry_destroy(m_registry);
    wl_display_disconnect(m_display);
    m_device = nullptr;
    m_manager = nullptr;
    m_seat = nullptr;
    m_registry = nullptr;
    m_display = nullptr;
}

void DataControlReader::forget(Offer &offer)
{
    if (offer.offer)
        zwlr_data_control_offer_v1_destroy(offer.offer);
    offer = Offer();
}

void DataControlReader::dataOffer(void *data, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *offer)
{
    static const zwlr_data_control_offer_v1_listener offerListener = {&DataControlReader::offered};
    auto *self = static_cast<DataControlReader *>(data);
    self->forget(self->m_introduced);
    self->m_introduced.offer = offer;
    zwlr_data_control_offer_v1_add_listener(offer, &offerListener, self);
}

void DataControlReader::offered(void *data, zwlr_data_control_offer_v1 *offer, const char *type)
{
    auto *self = static_cast<DataControlReader *>(data);
    if (self->m_introduced.offer == offer)
        self->m_introduced.types.append(QByteArray(type));
}

void DataControlReader::selection(void *data, zwlr_data_control_device_v1 *, zwlr_data_control_offer_v1 *offer)
{
    auto *self = static_cast<DataControlReader *>(data);
    self->forget(self->m_selection);
    if (offer && offer == self->m_introduced.offer) {
        self->m_selection = self->m_introduced;
        self->m_introduced = Offer();
    } else if (offer) {
        self->m_selection.offer = offer; // introduced without kinds
    }
}

void DataControlReader::finished(void *data, zwlr_data_control_device_v1 *)
{
    static_cast<DataControlReader *>(data)->m_finished = true;
}

void DataControlReader::takeIn()
{
    if (!m_display)
        return;
    if (wl_display_prepare_read(m_display) == 0) {
        pollfd ready{wl_display_get_fd(m_display), POLLIN, 0};
        if (::poll(&ready, 1, 0) > 0)
            wl_display_read_events(m_display);
        else
            wl_display_cancel_read(m_display);
    }
    wl_display_dispatch_pending(m_display);
}

bool DataControlReader::catchUp(int waitMs)
{
    bool done = false;
    wl_callback *callback = wl_display_sync(m_display);
    static const wl_callback_listener callbackListener = {[](void *data, wl_callback *callback, uint32_t) {
        if (data)
            *static_cast<bool *>(data) = true;
        wl_callback_destroy(callback);
    }};
    wl_callback_add_listener(callback, &callbackListener, &done);
    QElapsedTimer clock;
    clock.start();
    while (!done) {
        while (wl_display_prepare_read(m_display) != 0) {
            if (wl_display_dispatch_pending(m_display) < 0)
                return false;
        }
        if (done) {
            wl_display_cancel_read(m_display);
            break;
        }
        wl_display_flush(m_display);
        const qint64 left = waitMs - clock.elapsed();
        pollfd ready{wl_display_get_fd(m_display), POLLIN, 0};
        if (left <= 0 || ::poll(&ready, 1, int(left)) <= 0) {
            wl_display_cancel_read(m_display);
            if (left <= 0 || errno != EINTR)
                break;
            continue;
        }
        if (wl_display_read_events(m_display) < 0 || wl_display_dispatch_pending(m_display) < 0)
            return false;
    }
    if (!done) {
        // The compositor did not answer in time: its answer, should it come, changes nothing.
        wl_proxy_set_user_data(reinterpret_cast<wl_proxy *>(callback), nullptr);
        return false;
    }
    return wl_display_get_error(m_display) == 0;
}

Outcome DataControlReader::read(QString *text)
{
    if (!m_display || m_finished || !catchUp(CompositorWaitMs))
        return Outcome::Unavailable;
    // No offer: the compositor said the clipboard is empty.
    const WaylandText::Request asked = m_selection.offer
        ? WaylandText::ask(m_selection.types, [this](const char *type, int fd) {
              zwlr_data_control_offer_v1_receive(m_selection.offer, type, fd);
              wl_display_flush(m_display);
          })
        : WaylandText::Request();
    return WaylandText::readAnswer(asked, text);
}

} // namespace sys
