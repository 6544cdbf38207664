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

Choice decide(const Situation &s)
{
    if (s.platformNamed)
        return {};
    if (s.display.isEmpty() && s.waylandDisplay.isEmpty())
        return {QString(), QStringLiteral("no display available (neither DISPLAY nor WAYLAND_DISPLAY is set)")};
    QStringList missing;
    if (!s.display.isEmpty()) {
        if (!s.hasX11Support)
            missing << QStringLiteral("Qt's X11 support is not installed (install libqt6gui6)");
        else if (!s.xServerAnswers)
            missing << QStringLiteral("no X server answers on DISPLAY=%1").arg(s.display);
        else
            return {QStringLiteral("xcb"), QString()};
    }
    if (!s.waylandDisplay.isEmpty()) {
        if (!s.compositorAnswers)
            missing << QStringLiteral("no Wayland compositor answers on WAYLAND_DISPLAY=%1").arg(s.waylandDisplay);
        else if (!s.hasWaylandSupport)
            missing << QStringLiteral("Qt's Wayland support is not installed (install qt6-wayland)");
        else
            return {QStringLiteral("wayland"), QString()};
    }
    return {QString(), QStringLiteral("no display could be opened: ") + missing.join(QStringLiteral("; "))};
}

bool choose(QString *reason)
{
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    Situation s;
    s.platformNamed = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    s.display = qEnvironmentVariable("DISPLAY");
    s.waylandDisplay = qEnvironmentVariable("WAYLAND_DISPLAY");
    // Each is asked only where it may decide.
    if (!s.platformNamed && !s.display.isEmpty()) {
        s.hasX11Support = hasPlugin({QStringLiteral("libqxcb.so")});
        s.xServerAnswers = s.hasX11Support && xServerAnswers();
    }
    if (!s.platformNamed && !s.waylandDisplay.isEmpty() && !(s.hasX11Support && s.xServerAnswers)) {
        s.compositorAnswers = compositorAnswers();
        s.hasWaylandSupport = hasPlugin({QStringLiteral("libqwayland-generic.so"), QStringLiteral("libqwayland-egl.so")});
    }
    const Choice choice = decide(s);
    if (!choice.platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", choice.platform.toLatin1());
    if (!choice.missing.isEmpty()) {
        *reason = choice.missing;
        return false;
    }
    return true;
#else
    Q_UNUSED(reason);
    return true;
#endif
}

} // namespace Platform
