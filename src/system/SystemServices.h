#pragma once
// The thin layer between the program and the system it runs on: the clipboard,
// message boxes, the file and printer dialogs, the printer and the running of
// modal dialogs. Every command reaches the system through services(), so a test
// can put fakes in place (ScopedServices) and never meets a real modal dialog.

#include <QString>
#include <QStringList>
#include <optional>

class QDialog;
class QPrinter;
class QWidget;

namespace sys {

// The plain-text clipboard. Each operation reports failure with a reason;
// a read the user cancelled fails with an empty one.
class Clipboard
{
public:
    virtual ~Clipboard() = default;
    // Starts following what the desktop says of the clipboard: before the
    // note is first shown, since some desktops tell a program only as its
    // window gets the keyboard focus.
    virtual void prepare() {}
    // The clipboard's plain text; the empty text when it holds no text.
    virtual bool readText(QString *text, QString *error) = 0;
    virtual bool setText(const QString &text, QString *error) = 0;
    // Removes every format from the clipboard.
    virtual bool clear(QString *error) = 0;
    // The X11 primary selection's text, where the system has one.
    virtual bool readSelectionText(QString *text, QString *error)
    {
        Q_UNUSED(text);
        Q_UNUSED(error);
        return false;
    }
    // Whether the note must be shown before the clipboard can be read at
    // start-up (where only a window with the keyboard focus may read).
    virtual bool readsOnlyOnceShown() { return false; }
    // Where the window system hands the clipboard only to the window that
    // has the keyboard focus (Wayland, and XWayland beside some
    // compositors): waits, a few seconds at most, until window has it and
    // the clipboard's first report has come. False, with the reason, where it
    // did not come in time; elsewhere true at once.
    virtual bool waitUntilReadable(QWidget *window, QString *error)
    {
        Q_UNUSED(window);
        Q_UNUSED(error);
        return true;
    }
    // What is said of a text too large to take from the clipboard.
    static QString tooLargeMessage();
};

// What the window system lets a program do with its windows.
class WindowSystem
{
public:
    virtual ~WindowSystem() = default;
    // Whether a window can be kept above all others; false with the reason.
    virtual bool canKeepAbove(QString *why) = 0;
};

enum class MessageIcon { None, Exclamation };

// The system's standard message box with one OK button.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    virtual void show(QWidget *parent, const QString &text, const QString &title,
                      MessageIcon icon) = 0;
};

// What the common-dialog component asks of an open or save dialog.
struct FileDialogRequest
{
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    QString title;
    QString directory;          // empty: the dialog's own default folder
    QString fileName;           // shown in the name box
    QStringList filterNames;    // descriptions, as the user sees them
    QStringList filterPatterns; // the patterns, one entry per description
    int selectedFilter = 0;     // zero-based index into the lists
    bool existingFileOnly = false;
    bool confirmOverwrite = false;
    bool showReadOnlyBox = true;
};

// Shows an open or save dialog; the chosen path, or nothing on Cancel.
class FileDialogs
{
public:
    virtual ~FileDialogs() = default;
    virtual std::optional<QString> run(QWidget *parent, const FileDialogRequest &request) = 0;
};

// The program's current printer and the system's printer dialog over it.
class Printer
{
public:
    virtual ~Printer() = default;
    virtual QPrinter &device() = 0;
    // Why no job can be started now; empty when printing can go ahead.
    virtual QString unavailableReason() = 0;
    // Shows the printer dialog; false on Cancel (the settings then stay).
    virtual bool runSetupDialog(QWidget *parent) = 0;
    // Asked right after a job was handed over: the print server's reason
    // where it refused the job, else nothing.
    virtual QString jobRefusal() { return QString(); }
};

// Runs a modal dialog until it closes.
class ModalRunner
{
public:
    virtual ~ModalRunner() = default;
    virtual void run(QDialog &dialog) = 0;
};

struct Services
{
    Clipboard *clipboard = nullptr;
    MessageBoxes *messages = nullptr;
    FileDialogs *fileDialogs = nullptr;
    Printer *printer = nullptr;
    ModalRunner *modal = nullptr;
    WindowSystem *windowSystem = nullptr;
};

// The services in force; the production ones unless a test replaced them.
Services &services();

// Puts other services in place for its lifetime; null members keep the current ones.
class ScopedServices
{
public:
    explicit ScopedServices(const Services &replacement);
    ~ScopedServices();
    ScopedServices(const ScopedServices &) = delete;
    ScopedServices &operator=(const ScopedServices &) = delete;

private:
    Services m_saved;
};

} // namespace sys
