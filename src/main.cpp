// Quillpad: a snapshot of the clipboard's text, or of a text file, kept on the
// screen like a paper note.

#include "system/Platform.h"
#include "ui/ProgramIcon.h"
#include "app/Module1.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    // Taken before Qt sees anything: a file called "-style" is still a file.
    const QString commandLine = Module1::commandLineFrom(argc, argv);
    QString noPlatform;
    if (!Platform::choose(&noPlatform)) {
        std::fprintf(stderr, "quillpad: %s\n", noPlatform.toLocal8Bit().constData());
        return EXIT_FAILURE;
    }

    int qtArgc = 1;
    char *qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(Module1::ProgramName);
    QApplication::setApplicationVersion(QStringLiteral("1.0.11"));
    // The desktop's launcher and task bar tie the window to its menu entry
    // and icon by this (the Wayland app id; on X11 WM_CLASS says "Quillpad").
    QGuiApplication::setDesktopFileName(QStringLiteral("invalid.quillpad.quillpad"));
    QApplication::setWindowIcon(programIcon());

    Module1::Main(commandLine);
    if (Module1::hasEnded())
        return EXIT_SUCCESS; // closed while start-up waited: nothing is left to run
    return app.exec();
}
