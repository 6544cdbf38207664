#include "ClipboardReader.h"

#include "Memory.h"
#include "ProgressWait.h"
#include "WaitCursor.h"
#include "WaitUntil.h"
#include "QtClipboardReader.h"
#ifdef QUILLPAD_HAVE_XCB
#include "X11ClipboardReader.h"
#endif
#ifdef QUILLPAD_HAVE_WAYLAND
#include "WaylandDeviceReader.h"
#endif
#ifdef QUILLPAD_HAVE_DATA_CONTROL
#include "DataControlReader.h"
#endif

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QTimer>

namespace sys {

using SelectionTransfer::Outcome;

std::unique_ptr<ClipboardReader> ClipboardReader::choose()
{
    const QString platform = QGuiApplication::platformName();
    const bool x11 = platform.startsWith(QLatin1String("xcb"));
    const bool wayland = platform.startsWith(QLatin1String("wayland"));
#ifdef QUILLPAD_HAVE_DATA_CONTROL
    // On Wayland, or through XWayland beside a compositor that offers it.
    if (wayland || (x11 && qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))) {
        if (std::unique_ptr<ClipboardReader> reader = DataControlReader::open())
            return reader;
    }
#endif
#ifdef QUILLPAD_HAVE_XCB
    if (x11)
        return std::make_unique<X11ClipboardReader>("CLIPBOARD");
#endif
#ifdef QUILLPAD_HAVE_WAYLAND
    if (wayland) {
        if (std::unique_ptr<ClipboardReader> reader = WaylandDeviceReader::open())
            return reader;
    }
#endif
    return std::make_unique<QtClipboardReader>(QClipboard::Clipboard, wayland);
}

std::unique_ptr<ClipboardReader> ClipboardReader::choosePrimary()
{
#ifdef QUILLPAD_HAVE_XCB
    if (QGuiApplication::platformName().startsWith(QLatin1String("xcb")))
        return std::make_unique<X11ClipboardReader>("PRIMARY");
#endif
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard && clipboard->supportsSelection())
        return std::make_unique<QtClipboardReader>(QClipboard::Selection,
                                                   QGuiApplication::platformName().startsWith(QLatin1String("wayland")));
    return nullptr;
}

bool waitShowingCursor(const std::function<bool()> &ready, int waitMs)
{
    if (ready())
        return true;
    const WaitCursor waiting;
    return waitUntil(ready, waitMs, QEventLoop::ExcludeUserInputEvents);
}

bool waitForKeyboardFocus()
{
    constexpr int FocusWaitMs = 2000;
    return waitShowingCursor([] { return QGuiApplication::focusWindow() != nullptr; }, FocusWaitMs);
}

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
    reading->control.limit = memory < 0
        ? -1
        : memory / SelectionTransfer::MemoryShare / SelectionTransfer::MemoryPerByte;
    ProgressWait wait(QApplication::activeWindow(),
                      QCoreApplication::translate("Clipboard", "Taking the clipboard's text..."),
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

} // namespace sys
