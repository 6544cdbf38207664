#include "Platform.h"

#include <QFileInfo>
#include <QLibraryInfo>
#include <QStringList>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#ifdef QUILLPAD_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace Platform {

namespace {

// Whether Qt has the plug-in of that platform.
bool hasPlugin(const QStringList &names)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/");
    for (const QString &name : names) {
        if (QFileInfo::exists(folder + name))
            return true;
    }
    return false;
}

bool xServerAnswers()
{
#ifdef QUILLPAD_HAVE_XCB
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    const bool answers = !xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    return answers;
#else
    return true; // Qt will tell
#endif
}

// Whether a compositor listens where WAYLAND_DISPLAY says.
bool compositorAnswers()
{
    QByteArray path = qgetenv("WAYLAND_DISPLAY");
    if (!path.startsWith('/'))
        path = qgetenv("XDG_RUNTIME_DIR") + '/' + path;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof(address.sun_path))
        return false;
    std::copy(path.cbegin(), path.cend(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool answers = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
    ::close(fd);
    return answers;
}

} // namespace

bool choose(QString *reason)
{
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return true;
    const QString display = qEnvironmentVariable("DISPLAY");
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty() && wayland.isEmpty()) {
        *reason = QStringLiteral("no display available (neither DISPLAY nor WAYLAND_DISPLAY is set)");
        return false;
    }
    QStringList missing;
    if (!display.isEmpty()) {
        if (!hasPlugin({QStringLiteral("libqxcb.so")}))
            missing << QStringLiteral("Qt's X11 support is not installed (install libqt6gui6)");
        else if (!xServerAnswers())
            missing << QStringLiteral("no X server answers on DISPLAY=%1").arg(display);
        else {
            qputenv("QT_QPA_PLATFORM", "xcb");
            return true;
        }
    }
    if (!wayland.isEmpty()) {
        if (!compositorAnswers())
            missing << QStringLiteral("no Wayland compositor answers on WAYLAND_DISPLAY=%1").arg(wayland);
        else if (!hasPlugin({QStringLiteral("libqwayland-generic.so"), QStringLiteral("libqwayland-egl.so")}))
            missing << QStringLiteral("Qt's Wayland support is not installed (install qt6-wayland)");
        else {
            qputenv("QT_QPA_PLATFORM", "wayland");
            return true;
        }
    }
    *reason = QStringLiteral("no display could be opened: ") + missing.join(QStringLiteral("; "));
    return false;
#else
    Q_UNUSED(reason);
    return true;
#endif
}

} // namespace Platform
