#include "X11Desktop.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace X11Desktop {

namespace {

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return found;
}

} // namespace

bool windowManagerKeepsAbove()
{
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    bool keepsAbove = true;
    if (!xcb_connection_has_error(connection)) {
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber && screens.rem; ++i)
            xcb_screen_next(&screens);
        if (screens.rem) {
            const xcb_atom_t supported = atom(connection, "_NET_SUPPORTED");
            const xcb_atom_t above = atom(connection, "_NET_WM_STATE_ABOVE");
            xcb_get_property_reply_t *reply = xcb_get_property_reply(
                connection,
                xcb_get_property(connection, 0, screens.data->root, supported, XCB_ATOM_ATOM, 0, 4096), nullptr);
            if (reply && reply->type == XCB_ATOM_ATOM && reply->format == 32) {
                const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply));
                const int count = xcb_get_property_value_length(reply) / 4;
                keepsAbove = false;
                for (int i = 0; i < count; ++i)
                    keepsAbove = keepsAbove || atoms[i] == above;
            }
            std::free(reply);
        }
    }
    xcb_disconnect(connection);
    return keepsAbove;
}

} // namespace X11Desktop
