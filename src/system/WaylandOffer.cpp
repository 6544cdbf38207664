#include "WaylandOffer.h"

#include <wayland-client.h>

WaylandOffer::WaylandOffer(wl_data_offer *offer, wl_display *display)
    : m_offer(offer)
    , m_display(display)
{
    static const wl_data_offer_listener listener = {&WaylandOffer::offered, &WaylandOffer::sourceActions,
                                                    &WaylandOffer::action};
    wl_data_offer_add_listener(m_offer, &listener, this);
}

WaylandOffer::~WaylandOffer()
{
    wl_data_offer_destroy(m_offer);
}

void WaylandOffer::offered(void *data, wl_data_offer *, const char *type)
{
    static_cast<WaylandOffer *>(data)->m_types.append(QByteArray(type));
}

WaylandText::Request WaylandOffer::askForText()
{
    return WaylandText::ask(m_types, [this](const char *type, int fd) {
        wl_data_offer_receive(m_offer, type, fd);
        wl_display_flush(m_display);
    });
}
