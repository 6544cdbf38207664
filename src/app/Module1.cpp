#include "Module1.h"

#include "ClipText.h"
#include "frm_Quillpad.h"
#include "system/FileNames.h"
#include "ui/NoteStyle.h"
#include "ui/Program.h"
#include "files/ReadWithProgress.h"
#include "search/frm_search.h"

#include <QApplication>
#include <QPointer>
#include <QThread>
#include <QTime>

namespace Module1 {

QString clip_file_name;
std::optional<QString> clip_init_dir;

namespace {
QPointer<frm_Quillpad> s_mainWindow;
QPointer<frm_search> s_searchDialog;
bool s_ending = false;
} // namespace

QString clipInitDirText()
{
    return clip_init_dir.value_or(QString());
}

QString applicationTitle()
{
    return Program::title();
}

void setApplicationTitle(const QString &title)
{
    Program::setTitle(title);
}

QString commandLineFrom(int argc, char **argv)
{
    // Each argument's bytes are kept, whatever they are: the file is opened by them.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << FileNames::decode(QByteArray(argv[i]));
    return arguments.join(u' ');
}

QString timeSubject(const QTime &time)
{
    return time.toString(QStringLiteral("HH:mm:ss"));
}

frm_Quillpad *mainWindow()
{
    return s_mainWindow;
}

frm_search *searchDialog()
{
    return s_searchDialog;
}

frm_search &loadedSearchDialog()
{
    if (!s_searchDialog) {
        s_searchDialog = new frm_search(); // a window of its own, without an owner
        s_searchDialog->setTarget([]() -> SearchTarget * {
            return s_mainWindow ? s_mainWindow->clipText() : nullptr;
        });
        QObject::connect(s_searchDialog, &frm_search::unloaded, &forgetSearchDialog);
    }
    return *s_searchDialog;
}

void forgetSearchDialog()
{
    s_searchDialog = nullptr;
}

void MsgBox(const QString &text, const QString &title, sys::MessageIcon icon)
{
    sys::services().messages->show(s_mainWindow, text,
                                   title.isEmpty() ? applicationTitle() : title, icon);
}

static void startFromFile(frm_Quillpad &frm, const QString &commandLine)
{
    clip_file_name = commandLine;
    QPointer<frm_Quillpad> window = &frm;
    TextFile::ReadResult file = ReadWithProgress::read(&frm, clip_file_name);
    if (!window)
        return; // closed while the file was read: the program is ending
    if (file.ok)
        frm.loadText(std::move(file.text), file.format);
    frm.setWindowTitle(FileNames::display(clip_file_name) + CaptionSuffix);
    setApplicationTitle(frm.windowTitle());
    if (!file.ok && !file.cancelled)
        MsgBox(TextFile::readFailureMessage(clip_file_name, file.error));
}

static void startFromClipboard(frm_Quillpad &frm)
{
    clip_init_dir = ClipboardStartFolder;
    QString text;
    QString error;
    // Where only a focused window may read the clipboard, it is read once
    // the note has the focus and the clipboard has come.
    sys::Clipboard &clipboard = *sys::services().clipboard;
    const bool read = clipboard.waitUntilReadable(&frm, &error) && clipboard.readText(&text, &error);
    const QTime takenAt = QTime::currentTime();
    frm.loadText(read ? text : QString(), TextCodec::platformFormat());
    frm.setWindowTitle(timeSubject(takenAt) + CaptionSuffix);
    setApplicationTitle(frm.windowTitle());
    if (!read && !error.isEmpty())
        MsgBox(error);
}

void Main(const QString &commandLine)
{
    s_ending = false;
    NoteStyle::install();
    if (!s_mainWindow)
        s_mainWindow = new frm_Quillpad();
    Program::setNoteWindow(s_mainWindow);
    frm_Quillpad &frm = *s_mainWindow;
    frm.show();

    if (!commandLine.isEmpty())
        startFromFile(frm, commandLine);
    else
        startFromClipboard(frm);
}

void End()
{
    if (s_ending)
        return;
    s_ending = true;
    // Every window goes with the main window, a hidden search dialog too.
    if (s_searchDialog) {
        s_searchDialog->hide();
        s_searchDialog->deleteLater();
        s_searchDialog = nullptr;
    }
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != s_mainWindow)
            window->hide();
    }
    if (s_mainWindow) {
        s_mainWindow->hide();
        s_mainWindow->deleteLater();
        s_mainWindow = nullptr;
    }
    // Nothing of this run is kept.
    clip_file_name.clear();
    clip_init_dir.reset();
    Program::setTitle(ProgramName);
    Program::setNoteWindow(nullptr);
    // Only a running event loop can be left; asking any other time would make
    // the next loop end as soon as it starts.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

} // namespace Module1
