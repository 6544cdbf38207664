#include "Module1.h"

#include "ClipText.h"
#include "FileCommands.h"
#include "frm_Quillpad.h"
#include "system/FileNames.h"
#include "ui/NoteStyle.h"
#include "ui/Program.h"
#include "search/frm_search.h"
#include "window/NoteWindows.h"

#include <QApplication>
#include <QPointer>
#include <QThread>
#include <QTime>

namespace Module1 {

namespace {
NoteFile s_noteFile;
QPointer<frm_Quillpad> s_mainWindow;
QPointer<frm_search> s_searchDialog;
bool s_ending = false;
} // namespace

NoteFile &noteFile()
{
    return s_noteFile;
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
    Program::showMessage(text, title, icon);
}

// A message at start-up waits for the note to be shown, so that it is
// placed over the note rather than wherever the note was before the window
// manager placed it.
static void startupMessage(frm_Quillpad &frm, const QString &text)
{
    QPointer<frm_Quillpad> window = &frm;
    NoteWindows::waitUntilShown(frm);
    if (window && !s_ending) // not once the note was closed meanwhile
        MsgBox(text);
}

// The note's caption, and the program's title with it.
static void setCaption(frm_Quillpad &frm, const QString &subject)
{
    frm.setWindowTitle(subject + CaptionSuffix);
    setApplicationTitle(frm.windowTitle());
}

// The note is shown already captioned with the file, so that no window
// manager sees it under another caption; the file is read after.
static void startFromFile(frm_Quillpad &frm, const QString &commandLine)
{
    s_noteFile.clip_file_name = commandLine;
    setCaption(frm, FileNames::display(commandLine));
    frm.show();
    QPointer<frm_Quillpad> window = &frm;
    QString failure;
    FileCommands::load(commandLine, s_noteFile, *frm.clipText(), &failure);
    if (!window)
        return; // closed while the file was read: the program is ending
    if (!failure.isEmpty())
        startupMessage(frm, failure);
}

// Where the clipboard can be read before the note is shown (X11), it is,
// and the note is shown already captioned with the time of the snapshot;
// where only a window with the focus may read it (Wayland), the note is
// shown first, and read once it has the focus and the clipboard has come.
static void startFromClipboard(frm_Quillpad &frm)
{
    s_noteFile.clip_init_dir = ClipboardStartFolder;
    sys::Clipboard &clipboard = *sys::services().clipboard;
    const bool showFirst = clipboard.readsOnlyOnceShown();
    if (showFirst)
        frm.show();
    QPointer<frm_Quillpad> window = &frm;
    QString text;
    QString error;
    bool read = (!showFirst || clipboard.waitUntilReadable(&frm, &error)) && clipboard.readText(&text, &error);
    if (!window || s_ending)
        return; // closed while the clipboard was read: the program is ending
    const QTime takenAt = QTime::currentTime();
    if (read && !frm.clipText()->setText(text)) {
        read = false; // the note starts empty
        error = sys::Clipboard::tooLargeMessage();
    }
    s_noteFile.setFormat(TextCodec::clipboardFormat(frm.clipText()->document().store()));
    setCaption(frm, timeSubject(takenAt));
    if (!showFirst)
        frm.show();
    if (!read && !error.isEmpty())
        startupMessage(frm, error);
}

void Main(const QString &commandLine)
{
    s_ending = false;
    NoteStyle::install();
    if (!s_mainWindow)
        s_mainWindow = new frm_Quillpad();
    Program::setNoteWindow(s_mainWindow);
    frm_Quillpad &frm = *s_mainWindow;
    s_noteFile.setDocument(&frm.clipText()->document());
    sys::services().clipboard->prepare();

    if (!commandLine.isEmpty())
        startFromFile(frm, commandLine);
    else
        startFromClipboard(frm);
}

bool hasEnded()
{
    return s_ending;
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
    s_noteFile.forget();
    Program::setTitle(ProgramName);
    Program::setNoteWindow(nullptr);
    // Only a running event loop can be left; asking any other time would make
    // the next loop end as soon as it starts.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

} // namespace Module1
