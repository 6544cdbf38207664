#include "X11ClipboardReader.h"

#include "X11Selection.h"

#include <QGuiApplication>
#include <QPointer>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>

namespace sys {

using SelectionTransfer::Outcome;

namespace {

// How long start-up waits for the focus, then for the clipboard to come.
constexpr int FocusWaitMs = 2000;
constexpr int OwnerWaitMs = 2000;

// Whether an X client holds the clipboard, asked on Qt's own connection.
bool clipboardHasOwner()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return true;
    const char name[] = "CLIPBOARD";
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(sizeof name - 1), name), nullptr);
    xcb_get_selection_owner_reply_t *owner = atom ? xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, atom->atom), nullptr) : nullptr;
    const bool owned = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    std::free(atom);
    return owned;
}

} // namespace

Outcome X11ClipboardReader::read(QString *text)
{
    QGuiApplication::sync();
    const char *selection = m_selection;
    return readWithProgress([selection](SelectionTransfer::Control &control, QString *taken) {
        return X11Selection::read(selection, SelectionTransfer::QuietMs, taken, &control);
    }, text);
}

bool X11ClipboardReader::readsOnlyOnceShown()
{
    return qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && !clipboardHasOwner();
}

bool X11ClipboardReader::waitUntilReadable(QWidget *window)
{
    if (!readsOnlyOnceShown())
        return true;
    QPointer<QWidget> note = window;
    if (!waitShowingCursor([&] { return !note || note->isActiveWindow(); }, FocusWaitMs) || !note)
        return false;
    // A clipboard that holds nothing gets no owner: the note then starts empty.
    waitShowingCursor([&] { return !note || clipboardHasOwner(); }, OwnerWaitMs);
    return note;
}

} // namespace sys
