#include "X11Selection.h"

#include <QElapsedTimer>
#include <QStringDecoder>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <poll.h>

namespace X11Selection {

namespace {

struct Free
{
    void operator()(void *p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

// One connection and one small window, kept for the program's life.
struct Connection
{
    xcb_connection_t *xcb = nullptr;
    xcb_window_t window = 0;
    xcb_atom_t property = 0;
    xcb_atom_t incr = 0;

    xcb_atom_t atom(const char *name) const
    {
        Reply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(xcb, xcb_intern_atom(xcb, 0, uint16_t(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    bool open()
    {
        if (xcb && !xcb_connection_has_error(xcb))
            return true;
        if (xcb)
            xcb_disconnect(xcb);
        int screenNumber = 0;
        xcb = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(xcb))
            return false;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(xcb));
        for (int i = 0; i < screenNumber && screens.rem; ++i)
            xcb_screen_next(&screens);
        if (!screens.rem)
            return false;
        window = xcb_generate_id(xcb);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(xcb, XCB_COPY_FROM_PARENT, window, screens.data->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
        property = atom("QUILLPAD_SELECTION");
        incr = atom("INCR");
        xcb_flush(xcb);
        return true;
    }
};

Connection &connection()
{
    static Connection c;
    return c;
}

// The next event for our window, or null once the deadline has passed.
std::unique_ptr<xcb_generic_event_t, Free> nextEvent(Connection &c, const QElapsedTimer &clock, int timeoutMs)
{
    for (;;) {
        if (xcb_generic_event_t *event = xcb_poll_for_event(c.xcb))
            return std::unique_ptr<xcb_generic_event_t, Free>(event);
        if (xcb_connection_has_error(c.xcb))
            return nullptr;
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return nullptr;
        pollfd fd{xcb_get_file_descriptor(c.xcb), POLLIN, 0};
        ::poll(&fd, 1, int(left));
    }
}

// Waits for the answer to a conversion: true with the property's type, or
// false when none came in time.
bool waitForNotify(Connection &c, const QElapsedTimer &clock, int timeoutMs, bool *converted)
{
    while (auto event = nextEvent(c, clock, timeoutMs)) {
        if ((event->response_type & 0x7F) == XCB_SELECTION_NOTIFY) {
            const auto *notify = reinterpret_cast<xcb_selection_notify_event_t *>(event.get());
            *converted = notify->property != XCB_ATOM_NONE;
            return true;
        }
    }
    return false;
}

Reply<xcb_get_property_reply_t> takeProperty(Connection &c)
{
    return Reply<xcb_get_property_reply_t>(xcb_get_property_reply(
        c.xcb, xcb_get_property(c.xcb, 1, c.window, c.property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0x1FFFFFFF),
        nullptr));
}

QString decode(const QByteArray &bytes, bool utf8)
{
    return utf8 ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
}

} // namespace

Outcome read(const char *selection, int timeoutMs, QString *text)
{
    Connection &c = connection();
    if (!c.open())
        return Outcome::Unavailable;
    QElapsedTimer clock;
    clock.start();
    const xcb_atom_t selectionAtom = c.atom(selection);
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c.xcb, xcb_get_selection_owner(c.xcb, selectionAtom), nullptr));
    if (!owner)
        return Outcome::Unavailable;
    if (owner->owner == XCB_WINDOW_NONE) {
        text->clear();
        return Outcome::NoText;
    }
    // Drop whatever an earlier, abandoned request left behind.
    while (auto stale = std::unique_ptr<xcb_generic_event_t, Free>(xcb_poll_for_event(c.xcb))) {
    }

    // UTF-8 first; an older program may offer Latin-1 only.
    for (const bool utf8 : {true, false}) {
        const xcb_atom_t target = utf8 ? c.atom("UTF8_STRING") : xcb_atom_t(XCB_ATOM_STRING);
        xcb_delete_property(c.xcb, c.window, c.property);
        xcb_convert_selection(c.xcb, c.window, selectionAtom, target, c.property, XCB_CURRENT_TIME);
        xcb_flush(c.xcb);
        bool converted = false;
        if (!waitForNotify(c, clock, timeoutMs, &converted))
            return Outcome::NoAnswer;
        if (!converted)
            continue; // not in this form
        Reply<xcb_get_property_reply_t> reply = takeProperty(c);
        if (!reply)
            return Outcome::NoAnswer;
        QByteArray bytes;
        if (reply->type == c.incr) {
            // A large text comes in parts, each announced by a new value of
            // the property, until an empty one.
            xcb_flush(c.xcb);
            for (;;) {
                auto event = nextEvent(c, clock, timeoutMs);
                if (!event)
                    return Outcome::NoAnswer;
                if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
                    continue;
                const auto *change = reinterpret_cast<xcb_property_notify_event_t *>(event.get());
                if (change->atom != c.property || change->state != XCB_PROPERTY_NEW_VALUE)
                    continue;
                Reply<xcb_get_property_reply_t> part = takeProperty(c);
                xcb_flush(c.xcb);
                if (!part)
                    return Outcome::NoAnswer;
                const int length = xcb_get_property_value_length(part.get());
                if (length == 0)
                    break;
                bytes.append(static_cast<const char *>(xcb_get_property_value(part.get())), length);
                clock.restart(); // a holder that keeps answering is given its time
            }
        } else {
            bytes = QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                               xcb_get_property_value_length(reply.get()));
        }
        *text = decode(bytes, utf8);
        return Outcome::Text;
    }
    text->clear();
    return Outcome::NoText;
}

} // namespace X11Selection
