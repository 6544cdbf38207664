#include "X11Selection.h"

#include <QElapsedTimer>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <poll.h>

namespace X11Selection {

namespace {

struct Free
{
    void operator()(void *p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

// Waits are cut into slices this long, so that cancel is seen at once.
constexpr int SliceMs = 50;

// A connection and a small window of the reading's own.
struct Connection
{
    Connection() = default;
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    ~Connection()
    {
        if (xcb)
            xcb_disconnect(xcb);
    }

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

using Event = std::unique_ptr<xcb_generic_event_t, Free>;

enum class Wait { Event, Quiet, Cancelled };

// The next event for our window, waiting at most quietMs from `since`.
Wait nextEvent(Connection &c, const QElapsedTimer &since, int quietMs, const Control *control, Event *event)
{
    for (;;) {
        if (xcb_generic_event_t *e = xcb_poll_for_event(c.xcb)) {
            event->reset(e);
            return Wait::Event;
        }
        if (control && control->cancel.load())
            return Wait::Cancelled;
        if (xcb_connection_has_error(c.xcb))
            return Wait::Quiet;
        const qint64 left = quietMs - since.elapsed();
        if (left <= 0)
            return Wait::Quiet;
        pollfd fd{xcb_get_file_descriptor(c.xcb), POLLIN, 0};
        ::poll(&fd, 1, int(qMin<qint64>(left, SliceMs)));
    }
}

Reply<xcb_get_property_reply_t> takeProperty(Connection &c)
{
    return Reply<xcb_get_property_reply_t>(xcb_get_property_reply(
        c.xcb, xcb_get_property(c.xcb, 1, c.window, c.property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0x1FFFFFFF),
        nullptr));
}

using SelectionTransfer::withinLimit;

Outcome fail(Connection &c, Outcome outcome)
{
    // What the holder may still be sending goes nowhere.
    xcb_delete_property(c.xcb, c.window, c.property);
    xcb_flush(c.xcb);
    return outcome;
}

// The parts of an incremental transfer, until an empty one.
Outcome readParts(Connection &c, xcb_atom_t target, int quietMs, Control *control, QByteArray *bytes)
{
    xcb_flush(c.xcb);
    QElapsedTimer quiet;
    quiet.start();
    for (;;) {
        Event event;
        switch (nextEvent(c, quiet, quietMs, control, &event)) {
        case Wait::Quiet: return fail(c, Outcome::NoAnswer);
        case Wait::Cancelled: return fail(c, Outcome::Cancelled);
        case Wait::Event: break;
        }
        if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
            continue;
        const auto *change = reinterpret_cast<xcb_property_notify_event_t *>(event.get());
        if (change->atom != c.property || change->state != XCB_PROPERTY_NEW_VALUE)
            continue;
        Reply<xcb_get_property_reply_t> part = takeProperty(c);
        xcb_flush(c.xcb);
        if (!part)
            return fail(c, Outcome::NoAnswer);
        const int length = xcb_get_property_value_length(part.get());
        if (length == 0)
            return Outcome::Text; // the end
        if (part->type != target || part->format != 8)
            return fail(c, Outcome::NotText);
        if (!withinLimit(control, bytes->size() + length))
            return fail(c, Outcome::TooLarge);
        bytes->append(static_cast<const char *>(xcb_get_property_value(part.get())), length);
        quiet.restart(); // a holder that keeps sending is given its time for each part
    }
}

Outcome readSelection(const char *selection, int quietMs, QString *text, Control *control)
{
    Connection c;
    if (!c.open())
        return Outcome::Unavailable;
    const xcb_atom_t selectionAtom = c.atom(selection);
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c.xcb, xcb_get_selection_owner(c.xcb, selectionAtom), nullptr));
    if (!owner)
        return Outcome::Unavailable;
    if (owner->owner == XCB_WINDOW_NONE) {
        text->clear();
        return Outcome::NoText;
    }
    QElapsedTimer quiet;
    quiet.start();
    // UTF-8 first; an older program may offer Latin-1 only.
    for (const bool utf8 : {true, false}) {
        const xcb_atom_t target = utf8 ? c.atom("UTF8_STRING") : xcb_atom_t(XCB_ATOM_STRING);
        xcb_delete_property(c.xcb, c.window, c.property);
        xcb_convert_selection(c.xcb, c.window, selectionAtom, target, c.property, XCB_CURRENT_TIME);
        xcb_flush(c.xcb);
        bool converted = false;
        for (bool answered = false; !answered;) {
            Event event;
            switch (nextEvent(c, quiet, quietMs, control, &event)) {
            case Wait::Quiet: return Outcome::NoAnswer;
            case Wait::Cancelled: return Outcome::Cancelled;
            case Wait::Event: break;
            }
            if ((event->response_type & 0x7F) == XCB_SELECTION_NOTIFY) {
                answered = true;
                converted = reinterpret_cast<xcb_selection_notify_event_t *>(event.get())->property != XCB_ATOM_NONE;
            }
        }
        if (!converted)
            continue; // not in this form
        Reply<xcb_get_property_reply_t> reply = takeProperty(c);
        if (!reply)
            return Outcome::NoAnswer;
        QByteArray bytes;
        if (reply->type == c.incr && reply->format == 32) {
            // A large text comes in parts; the holder says how much at least.
            if (xcb_get_property_value_length(reply.get()) >= 4 && control)
                control->expected = *static_cast<const quint32 *>(xcb_get_property_value(reply.get()));
            const Outcome parts = readParts(c, target, quietMs, control, &bytes);
            if (parts != Outcome::Text)
                return parts;
        } else if (reply->type == target && reply->format == 8) {
            const int length = xcb_get_property_value_length(reply.get());
            if (!withinLimit(control, length))
                return Outcome::TooLarge;
            bytes = QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())), length);
        } else {
            return Outcome::NotText;
        }
        return SelectionTransfer::decode(bytes, !utf8, text);
    }
    text->clear();
    return Outcome::NoText;
}

} // namespace

Outcome read(const char *selection, int quietMs, QString *text, Control *control)
{
    try {
        return readSelection(selection, quietMs, text, control);
    } catch (const std::bad_alloc &) {
        text->clear();
        return Outcome::TooLarge; // the text would not fit in the memory there is
    }
}

} // namespace X11Selection
