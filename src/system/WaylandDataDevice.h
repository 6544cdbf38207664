#pragma once
// The program's own Wayland data device, through which the clipboard's text
// is read with the rules of the X11 reader. A compositor offers the
// clipboard only to the program that has the keyboard focus, on the
// program's own connection: the device takes that connection from Qt's
// Wayland plug-in (through its native interface) and lives on an event
// queue of its own, so it sees every offer the compositor sends. Qt's
// clipboard is not asked, where it can be helped: it keeps each offer's
// answers, the empty text of a holder that did not answer included, and it
// reads on the UI thread.
//
// The holder is asked for the text on the UI thread (a request: nothing
// waits); the text is read from the pipe it writes to on a thread
// (SelectionTransfer::readText), so every asking is a transfer of its own.
//
// Compositors differ in what a second data device of one program gets:
// - mutter keeps only a program's newest device, and Weston gives drags to
//   the newest: there Qt's own device no longer sees drags, so this one
//   takes drops on the program's windows and hands them to Qt as Qt's own
//   device would (it leaves them to Qt once a drag has come through Qt's);
// - Weston answers a request only on the offer it made last, which is
//   always Qt's: where the device's requests are found unanswered that way
//   (giveUp()), Qt's clipboard is asked from then on;
// - KWin and wlroots compositors serve every device.

namespace WaylandDataDevice {

// Whether the program runs on Wayland and the device is there to read with.
bool available();

// Waits at most waitMs, the window painting meanwhile, until the compositor
// has told the program what the clipboard holds (as it does when the
// program gets the keyboard focus). False where nothing came in time.
bool waitForOffer(int waitMs);

// The pipe the clipboard's holder writes its text to, and its encoding.
struct Request
{
    int fd = -1; // -1: nothing is offered as text
    bool latin1 = false;
    const char *type = nullptr; // the type asked for
};
// Asks the holder for its text; the caller reads and closes the pipe.
Request requestText();

// The compositor does not answer the device's requests (the holder never
// saw them): Qt's clipboard is asked from now on.
void giveUp();

} // namespace WaylandDataDevice
