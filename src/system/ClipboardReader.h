#pragma once
// Reading the clipboard's text from the program that holds it. Each
// platform has a reader of its own, chosen once as the program starts from
// what the platform offers (as Qt keeps its X11 and Wayland clipboards
// apart):
// - X11: the selection asked of its holder on a connection of the
//   program's own (X11ClipboardReader);
// - a Wayland compositor that offers data control (KWin, and wlroots
//   compositors such as sway), whether the note runs on Wayland or through
//   XWayland beside it: read whatever window has the focus (DataControlReader);
// - other Wayland compositors, where only the window with the keyboard
//   focus may read: a data device of the program's own (WaylandDeviceReader,
//   mutter), or Qt's clipboard where the compositor serves only Qt's own
//   device (Weston) or no device of the program's own can be had
//   (QtClipboardReader).

#include "SelectionTransfer.h"

#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace sys {

class ClipboardReader
{
public:
    virtual ~ClipboardReader() = default;

    // The clipboard's text, asked afresh of its holder; how the reading ended.
    virtual SelectionTransfer::Outcome read(QString *text) = 0;
    // Whether the note must be shown (and have the focus) before the
    // clipboard can be read at start-up.
    virtual bool readsOnlyOnceShown() { return false; }
    // At start-up, where the note can read only once the desktop has told
    // it what the clipboard holds: waits for that, a few seconds at most;
    // false where it did not come (or window went).
    virtual bool waitUntilReadable(QWidget *window)
    {
        Q_UNUSED(window);
        return true;
    }

    // The reader for the clipboard on this platform; made before the note
    // first has the focus, since some compositors tell a program what the
    // clipboard holds only as its windows get it.
    static std::unique_ptr<ClipboardReader> choose();
    // The reader for the X11 primary selection, where there is one.
    static std::unique_ptr<ClipboardReader> choosePrimary();
};

// Waits for ready, waitMs at most, while keys and clicks wait and the wait
// cursor shows; whether ready() said so.
bool waitShowingCursor(const std::function<bool()> &ready, int waitMs);

// Where only a window with the keyboard focus may read: whether a window of
// the program has it, waiting a few seconds at most for it to come back (a
// menu that has just closed gives it back a moment later).
bool waitForKeyboardFocus();

// A transfer from the holder, run on a thread of its own.
using Transfer = std::function<SelectionTransfer::Outcome(SelectionTransfer::Control &control, QString *text)>;

// Runs transfer while the window paints; past half a second a progress
// window offers Cancel. The transfer stops where its text would need more
// than a share of the memory available (SelectionTransfer::MemoryShare).
SelectionTransfer::Outcome readWithProgress(const Transfer &transfer, QString *text);

} // namespace sys
