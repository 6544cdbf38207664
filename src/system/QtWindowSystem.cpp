#include "QtWindowSystem.h"

#ifdef QUILLPAD_HAVE_XCB
#include "X11Desktop.h"
#endif

#include <QCoreApplication>
#include <QGuiApplication>

namespace sys {

bool QtWindowSystem::canKeepAbove(QString *why)
{
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland"))) {
        *why = QCoreApplication::translate(
            "WindowSystem", "Stay On Top is not available here: on a Wayland desktop no program may keep its "
                            "window above the others.");
        return false;
    }
#ifdef QUILLPAD_HAVE_XCB
    if (platform == QLatin1String("xcb") && !X11Desktop::windowManagerKeepsAbove()) {
        *why = QCoreApplication::translate(
            "WindowSystem", "Stay On Top is not available here: the window manager keeps no window above the "
                            "others.");
        return false;
    }
#endif
    return true;
}

} // namespace sys
