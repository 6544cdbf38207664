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
    if (path.isEmpty())
        path = "wayland-0"; // where Qt looks when nothing is set
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

// Why the X11 and Wayland platforms cannot be opened, as each is asked.
QString whyNoX11(const Situation &s)
{
    if (!s.hasX11Support)
        return QStringLiteral("Qt's X11 support is not installed (install libqt6gui6)");
    if (s.display.isEmpty())
        return QStringLiteral("no X server: DISPLAY is not set");
    if (!s.xServerAnswers)
        return QStringLiteral("no X server answers on DISPLAY=%1").arg(s.display);
    return QString();
}

QString whyNoWayland(const Situation &s)
{
    if (!s.compositorAnswers)
        return QStringLiteral("no Wayland compositor answers on WAYLAND_DISPLAY=%1")
            .arg(s.waylandDisplay.isEmpty() ? QStringLiteral("wayland-0") : s.waylandDisplay);
    if (!s.hasWaylandSupport)
        return QStringLiteral("Qt's Wayland support is not installed (install qt6-wayland)");
    return QString();
}

// The platforms the user named: left to Qt where one of them can be
// opened (or is none that needs a display), else why none can.
Choice decideNamed(const Situation &s)
{
    QStringList missing;
    for (const QString &named : s.namedPlatform.split(u';', Qt::SkipEmptyParts)) {
        const QString name = named.section(u':', 0, 0).trimmed();
        QString why;
        if (name == QLatin1String("xcb"))
            why = whyNoX11(s);
        else if (name.startsWith(QLatin1String("wayland")))
            why = whyNoWayland(s);
        if (why.isEmpty())
            return {};
        missing << why;
    }
    if (missing.isEmpty())
        return {};
    return {QString(), QStringLiteral("QT_QPA_PLATFORM=%1 cannot be opened: ").arg(s.namedPlatform)
                           + missing.join(QStringLiteral("; "))};
}

} // namespace

Choice decide(const Situation &s)
{
    if (s.platformNamed)
        return decideNamed(s);
    if (s.display.isEmpty() && s.waylandDisplay.isEmpty())
        return {QString(), QStringLiteral("no display available (neither DISPLAY nor WAYLAND_DISPLAY is set)")};
    QStringList missing;
    if (!s.display.isEmpty()) {
        const QString why = whyNoX11(s);
        if (why.isEmpty())
            return {QStringLiteral("xcb"), QString()};
        missing << why;
    }
    if (!s.waylandDisplay.isEmpty()) {
        const QString why = whyNoWayland(s);
        if (why.isEmpty())
            return {QStringLiteral("wayland"), QString()};
        missing << why;
    }
    return {QString(), QStringLiteral("no display could be opened: ") + missing.join(QStringLiteral("; "))};
}

bool choose(QString *reason)
{
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    Situation s;
    s.platformNamed = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
    s.namedPlatform = qEnvironmentVariable("QT_QPA_PLATFORM");
    s.display = qEnvironmentVariable("DISPLAY");
    s.waylandDisplay = qEnvironmentVariable("WAYLAND_DISPLAY");
    // Each is asked only where it may decide.
    const bool namesX11 = s.platformNamed && s.namedPlatform.contains(QLatin1String("xcb"));
    const bool namesWayland = s.platformNamed && s.namedPlatform.contains(QLatin1String("wayland"));
    if (namesX11 || (!s.platformNamed && !s.display.isEmpty())) {
        s.hasX11Support = hasPlugin({QStringLiteral("libqxcb.so")});
        s.xServerAnswers = s.hasX11Support && !s.display.isEmpty() && xServerAnswers();
    }
    if (namesWayland || (!s.platformNamed && !s.waylandDisplay.isEmpty() && !(s.hasX11Support && s.xServerAnswers))) {
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
