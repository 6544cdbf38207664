// Quillpad: a snapshot of the clipboard's text, or of a text file, kept on the
// screen like a paper note.

#include "ui/ProgramIcon.h"
#include "app/Module1.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

// Where no platform is chosen and none can be reached, say so plainly instead
// of letting the toolkit abort. On a Wayland session prefer XWayland where it
// runs: keeping a window on top works there. A platform the user chose wins.
static bool choosePlatform()
{
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return true;
    const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
    const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!x11 && !wayland) {
        std::fputs("quillpad: no display available (neither DISPLAY nor WAYLAND_DISPLAY is set)\n",
                   stderr);
        return false;
    }
    if (wayland && x11)
        qputenv("QT_QPA_PLATFORM", "xcb");
#endif
    return true;
}

int main(int argc, char **argv)
{
    // Taken before Qt sees anything: a file called "-style" is still a file.
    const QString commandLine = Module1::commandLineFrom(argc, argv);
    if (!choosePlatform())
        return EXIT_FAILURE;

    int qtArgc = 1;
    char *qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(Module1::ProgramName);
    QApplication::setApplicationVersion(QStringLiteral("1.0.11"));
    QApplication::setWindowIcon(programIcon());

    Module1::Main(commandLine);
    return app.exec();
}
