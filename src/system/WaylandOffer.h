#pragma once
// What the compositor offers the program's own data device: the clipboard's
// selection or a drag, with the kinds of data it comes in (told right after
// it is introduced). Destroyed with this object.

#include "WaylandText.h"

#include <QByteArrayList>

struct wl_data_offer;
struct wl_display;

class WaylandOffer
{
public:
    WaylandOffer(wl_data_offer *offer, wl_display *display);
    ~WaylandOffer();
    WaylandOffer(const WaylandOffer &) = delete;
    WaylandOffer &operator=(const WaylandOffer &) = delete;

    wl_data_offer *get() const { return m_offer; }
    const QByteArrayList &types() const { return m_types; }
    // Asks the holder for the text in the best kind it offers.
    WaylandText::Request askForText();

private:
    static void offered(void *data, wl_data_offer *, const char *type);
    static void sourceActions(void *, wl_data_offer *, uint32_t) {}
    static void action(void *, wl_data_offer *, uint32_t) {}

    wl_data_offer *m_offer;
    wl_display *m_display;
    QByteArrayList m_types;
};
