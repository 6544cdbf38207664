#include "QtClipboard.h"

#include "Memory.h"
#include "ProgressWait.h"
#include "SelectionTransfer.h"
#include "WaitCursor.h"
#include "WaitUntil.h"

#ifdef QUILLPAD_HAVE_XCB
#include "X11Selection.h"
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif
#ifdef QUILLPAD_HAVE_WAYLAND
#include "WaylandDataDevice.h"
#endif

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <functional>
#include <memory>

namespace sys {

using SelectionTransfer::Outcome;

namespace {

// How long start-up waits for the note to be given the clipboard.
constexpr int ReadableWaitMs = 2000;

QString tr(const char *text)
{
    return QCoreApplication::translate("Clipboard", text);
}

QClipboard *systemClipboard(QString *error)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard && error)
        *error = tr("The clipboard is not available.");
    return clipboard;
}

bool onPlatform(const char *name)
{
    return QGuiApplication::platformName().startsWith(QLatin1String(name));
}

// A transfer from the clipboard's holder.
using Transfer = std::function<Outcome(SelectionTransfer::Control &control, QString *text)>;

// Runs transfer on a thread of its own while the window paints; past half a
// second a progress window offers Cancel. The transfer stops where its text
// would no longer fit in the memory there is.
Outcome readWithProgress(const Transfer &transfer, QString *text)
{
    struct Reading
    {
        SelectionTransfer::Control control;
        QString text;
        Outcome outcome = Outcome::Cancelled;
    };
    // Shared with the thread, which may outlive this call when the program ends.
    auto reading = std::make_shared<Reading>();
    const qint64 memory = Memory::available();
    reading->control.limit = memory < 0 ? -1 : memory / SelectionTransfer::MemoryPerByte;
    ProgressWait wait(QApplication::activeWindow(), tr("Taking the clipboard's text..."),
                      QStringLiteral("clipboard_progress"));
    wait.onCancel([reading] { reading->control.cancel = true; });
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 expected = reading->control.expected.load();
        wait.setProgress(expected > 0 ? int(qMin<qint64>(1000, reading->control.received * 1000 / expected)) : -1);
    });
    tick.start(100);
    const ProgressWait::Outcome waited = wait.run([reading, transfer] {
        reading->outcome = transfer(reading->control, &reading->text);
    });
    if (waited != ProgressWait::Outcome::Finished) {
        // The reader sees this within a moment; it is not waited for.
        reading->control.cancel = true;
        return Outcome::Cancelled;
    }
    *text = std::move(reading->text); // written before the thread said it was done
    return reading->outcome;
}

#ifdef QUILLPAD_HAVE_XCB
Outcome readX11(QClipboard::Mode mode, QString *text)
{
    const char *selection = mode == QClipboard::Clipboard ? "CLIPBOARD" : "PRIMARY";
    QGuiApplication::sync();
    return readWithProgress([selection](SelectionTransfer::Control &control, QString *taken) {
        return X11Selection::read(selection, SelectionTransfer::QuietMs, taken, &control);
    }, text);
}

// Whether an X client holds the clipboard, asked on Qt's own connection.
bool x11ClipboardHasOwner()
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
#endif

#ifdef QUILLPAD_HAVE_WAYLAND
Outcome readWayland(QString *text)
{
    const WaylandDataDevice::Request request = WaylandDataDevice::requestText();
    if (request.fd < 0) {
        text->clear();
        return Outcome::NoText;
    }
    const SelectionTransfer::SharedPipe pipe = SelectionTransfer::sharePipe(request.fd);
    return readWithProgress([pipe, latin1 = request.latin1](SelectionTransfer::Control &control, QString *taken) {
        return SelectionTransfer::readText(*pipe, latin1, &control, taken);
    }, text);
}
#endif

// Listens, while Qt reads the clipboard, for Qt's own word that the holder
// did not answer in time (its Wayland clipboard then hands back "" as if
// nothing were there): where no reader of our own can be had.
class AnswerWatch
{
public:
    // Runs read; false where Qt said its holder did not answer.
    static bool read(const std::function<void()> &read)
    {
        s_timedOut = false;
        s_previous = qInstallMessageHandler(&listen);
        read();
        qInstallMessageHandler(s_previous);
        return !s_timedOut;
    }

private:
    static void listen(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (message.contains(QLatin1String("timeout reading from pipe")))
            s_timedOut = true;
        if (s_previous)
            s_previous(type, context, message);
    }
    static inline bool s_timedOut = false;
    static inline QtMessageHandler s_previous = nullptr;
};

Outcome readThroughQt(QClipboard &clipboard, QClipboard::Mode mode, QString *text)
{
    const WaitCursor waiting;
    const bool answered = AnswerWatch::read([&] { *text = clipboard.text(mode); });
    if (answered)
        return Outcome::Text;
    text->clear();
    return Outcome::NoAnswer;
}

// The text of a selection, from its holder. On X11 and Wayland it is asked
// of the holder by a reader of our own, with about two seconds for each
// answer; while this program holds the text itself, and where no reader
// can be had, Qt's clipboard answers. False, with the reason, where the
// holder does not answer, answers with something other than text, sends
// more than can be held, or the user cancels (then with no reason).
bool readSystemText(QClipboard::Mode mode, QString *text, QString *error)
{
    QClipboard *clipboard = systemClipboard(error);
    if (!clipboard)
        return false;
    const bool ours = mode == QClipboard::Clipboard ? clipboard->ownsClipboard() : clipboard->ownsSelection();
    Outcome outcome = Outcome::Unavailable;
    [[maybe_unused]] bool deviceGotNothing = false;
    if (ours) {
        *text = clipboard->text(mode);
        return true;
    }
#ifdef QUILLPAD_HAVE_XCB
    if (onPlatform("xcb"))
        outcome = readX11(mode, text);
#endif
#ifdef QUILLPAD_HAVE_WAYLAND
    if (onPlatform("wayland") && mode == QClipboard::Clipboard && WaylandDataDevice::available()) {
        outcome = readWayland(text);
        // A compositor may close the pipe at once where the holder never saw
        // the request: Weston answers only on the data device it served last,
        // which is Qt's. An empty text is Qt's clipboard's to confirm.
        deviceGotNothing = outcome == Outcome::Text && text->isEmpty();
        if (deviceGotNothing)
            outcome = Outcome::Unavailable;
    }
#endif
    if (outcome == Outcome::Unavailable) {
        outcome = readThroughQt(*clipboard, mode, text);
#ifdef QUILLPAD_HAVE_WAYLAND
        // Where Qt's clipboard has a text the device's request got nothing
        // of, the compositor does not answer the device.
        if (deviceGotNothing && outcome == Outcome::Text && !text->isEmpty())
            WaylandDataDevice::giveUp();
#endif
    }
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    switch (outcome) {
    case Outcome::Text:
    case Outcome::NoText:
        return true;
    case Outcome::NoAnswer:
    case Outcome::Unavailable:
        return fail(tr("The program holding the clipboard did not answer, so its text could not be taken."));
    case Outcome::NotText:
        return fail(tr("The program holding the clipboard answered with something other than text, so nothing was "
                       "taken."));
    case Outcome::TooLarge:
        return fail(Clipboard::tooLargeMessage());
    case Outcome::Cancelled:
        break;
    }
    return fail(QString()); // the user's own choice: nothing to say
}

// Waits for ready while keys and clicks wait and the wait cursor shows.
bool waitFor(const std::function<bool()> &ready, int waitMs)
{
    if (ready())
        return true;
    const WaitCursor waiting;
    return sys::waitUntil(ready, waitMs, QEventLoop::ExcludeUserInputEvents);
}

QString noFocusInTime()
{
    return tr("The clipboard's text could not be taken: on this desktop only the window with the keyboard focus may "
              "read the clipboard, and the note did not get the focus in time.");
}

} // namespace

bool QtClipboard::waitUntilReadable(QWidget *window, QString *error)
{
    if (!window || !systemClipboard(error))
        return !!window;
    QPointer<QWidget> note = window;
#ifdef QUILLPAD_HAVE_WAYLAND
    if (onPlatform("wayland") && WaylandDataDevice::available()) {
        // The compositor tells the program what the clipboard holds as it
        // gives it the keyboard focus.
        const bool offered = WaylandDataDevice::waitForOffer(ReadableWaitMs);
        if (!offered && error && note)
            *error = noFocusInTime();
        return offered && note;
    }
#endif
    if (onPlatform("wayland")) {
        // Without a reader of our own: Qt reports the compositor's offer as a
        // change of the clipboard.
        bool reported = false;
        QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, note, [&] { reported = true; });
        if (waitFor([&] { return !note || (reported && note->isActiveWindow()); }, ReadableWaitMs) && note)
            return true;
        if (error && note)
            *error = noFocusInTime();
        return false;
    }
#ifdef QUILLPAD_HAVE_XCB
    if (onPlatform("xcb") && qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && !x11ClipboardHasOwner()) {
        // Through XWayland on a Wayland desktop: a compositor may hand the
        // Wayland clipboard to X only while an X window is active (KWin
        // does), so the note waits for the focus, then a moment for the
        // clipboard to come. A clipboard that holds nothing stays empty.
        constexpr int OwnerWaitMs = 500;
        if (!waitFor([&] { return !note || note->isActiveWindow(); }, ReadableWaitMs) || !note) {
            if (error && note)
                *error = noFocusInTime();
            return false;
        }
        waitFor([&] { return !note || x11ClipboardHasOwner(); }, OwnerWaitMs);
        return note;
    }
#endif
    return true;
}

bool QtClipboard::readText(QString *text, QString *error)
{
    return readSystemText(QClipboard::Clipboard, text, error);
}

bool QtClipboard::setText(const QString &text, QString *error)
{
    QClipboard *clipboard = systemClipboard(error);
    if (!clipboard)
        return false;
    clipboard->setText(text, QClipboard::Clipboard);
    // QClipboard reports nothing itself. While we own the clipboard it hands
    // back our own data, so reading it back tells whether the text got there.
    if (clipboard->text(QClipboard::Clipboard) != text) {
        if (error)
            *error = tr("Another program holds the clipboard; the text could not be put on it.");
        return false;
    }
    return true;
}

bool QtClipboard::readSelectionText(QString *text, QString *error)
{
    QClipboard *clipboard = systemClipboard(error);
    if (!clipboard || !clipboard->supportsSelection())
        return false;
    return readSystemText(QClipboard::Selection, text, error);
}

bool QtClipboard::clear(QString *error)
{
    QClipboard *clipboard = systemClipboard(error);
    if (!clipboard)
        return false;
    clipboard->clear(QClipboard::Clipboard);
    return true;
}

} // namespace sys
