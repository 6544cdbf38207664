#include "QtServices.h"

#include "FileNames.h"
#include "Memory.h"
#include "NameOnlyIconProvider.h"
#include "ProgressWait.h"

#ifdef QUILLPAD_HAVE_XCB
#include "X11Desktop.h"
#include "X11Selection.h"
#endif

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSettings>
#include <QTimer>

#include <functional>
#include <memory>

namespace sys {

// ---- clipboard -------------------------------------------------------------

static QClipboard *systemClipboard(QString *error)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard && error)
        *error = QCoreApplication::translate("Clipboard", "The clipboard is not available.");
    return clipboard;
}

#ifdef QUILLPAD_HAVE_XCB
// The X11 text of a selection, read on a thread of its own while the window
// paints; past half a second a progress window offers Cancel. The transfer
// stops where its text would no longer fit in the memory there is.
static X11Selection::Outcome readX11Selection(const char *selection, QString *text)
{
    constexpr int QuietMs = 2000; // how long the holder may be silent
    struct Transfer
    {
        X11Selection::Control control;
        QString text;
        X11Selection::Outcome outcome = X11Selection::Outcome::Cancelled;
    };
    // Shared with the thread, which may outlive this call when the program ends.
    auto transfer = std::make_shared<Transfer>();
    const qint64 memory = Memory::available();
    // The bytes, the text they become and the note's copy of it.
    transfer->control.limit = memory < 0 ? -1 : memory / 5;
    ProgressWait wait(QApplication::activeWindow(),
                      QCoreApplication::translate("Clipboard", "Taking the clipboard's text..."),
                      QStringLiteral("clipboard_progress"));
    wait.onCancel([transfer] { transfer->control.cancel = true; });
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 expected = transfer->control.expected.load();
        wait.setProgress(expected > 0 ? int(qMin<qint64>(1000, transfer->control.received * 1000 / expected)) : -1);
    });
    tick.start(100);
    QGuiApplication::sync();
    const ProgressWait::Outcome waited = wait.run([transfer, selection] {
        transfer->outcome = X11Selection::read(selection, QuietMs, &transfer->text, &transfer->control);
    });
    if (waited != ProgressWait::Outcome::Finished) {
        // The reader sees this within a moment; it is not waited for.
        transfer->control.cancel = true;
        return X11Selection::Outcome::Cancelled;
    }
    *text = std::move(transfer->text); // written before the thread said it was done
    return transfer->outcome;
}
#endif

// Listens, while Qt reads the clipboard, for Qt's own word that the holder
// did not answer in time (its Wayland clipboard then hands back "" as if
// nothing were there).
class AnswerWatch
{
public:
    // Runs read; false where Qt said its holder did not answer.
    static bool read(const std::function<void()> &read)
    {
        s_timedOut = false;
        s_previous = qInstallMessageHandler(&listen);
        read();
        qInstallMessageHandler(s_previous);
        return !s_timedOut;
    }

private:
    static void listen(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (message.contains(QLatin1String("timeout reading from pipe")))
            s_timedOut = true;
        if (s_previous)
            s_previous(type, context, message);
    }
    static inline bool s_timedOut = false;
    static inline QtMessageHandler s_previous = nullptr;
};

// On X11 the text is asked of its holder on a connection of our own, with
// about two seconds for each answer: false, with the reason, when the holder
// does not answer, answers with something other than text, sends more than
// can be held, or the user cancels. Elsewhere, and while this program holds
// the text itself, Qt's clipboard answers.
static bool readSystemText(QClipboard::Mode mode, QString *text, QString *error)
{
    QClipboard *clipboard = systemClipboard(error);
    if (!clipboard)
        return false;
#ifdef QUILLPAD_HAVE_XCB
    const bool ours = mode == QClipboard::Clipboard ? clipboard->ownsClipboard() : clipboard->ownsSelection();
    if (QGuiApplication::platformName() == QLatin1String("xcb") && !ours) {
        auto fail = [error](const char *why) {
            if (error)
                *error = QCoreApplication::translate("Clipboard", why);
            return false;
        };
        QString taken;
        switch (readX11Selection(mode == QClipboard::Clipboard ? "CLIPBOARD" : "PRIMARY", &taken)) {
        case X11Selection::Outcome::Text:
        case X11Selection::Outcome::NoText:
            *text = std::move(taken);
            return true;
        case X11Selection::Outcome::NoAnswer:
            return fail("The program holding the clipboard did not answer, so its text could not be taken.");
        case X11Selection::Outcome::NotText:
            return fail("The program holding the clipboard answered with something other than text, so nothing "
                        "was taken.");
        case X11Selection::Outcome::TooLarge:
            return fail("The clipboard's text is too large to take: it would need more memory than there is.");
        case X11Selection::Outcome::Cancelled:
            if (error)
                error->clear(); // the user's own choice: nothing to say
            return false;
        case X11Selection::Outcome::Unavailable:
            break; // Qt's clipboard may still reach it
        }
    }
#endif
    // Qt's Wayland clipboard gives an empty text when the holder does not
    // answer within its time, and tells that only in a warning: the warning
    // is listened for while the text is read.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool answered = AnswerWatch::read([&] { *text = clipboard->text(mode); });
    QGuiApplication::restoreOverrideCursor();
    if (!answered) {
        text->clear();
        if (error)
            *error = QCoreApplication::translate(
                "Clipboard", "The program holding the clipboard did not answer, so its text could not be taken.");
        return false;
    }
    return true;
}

bool QtClipboard::waitUntilReadable(QWidget *window, QString *error)
{
    if (!window || !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return true;
    QClipboard *clipboard = systemClipboard(error);
    if (!clipboard)
        return false;
    // The compositor offers the clipboard to a window when it gets the
    // focus, and Qt reports the offer as a change of the clipboard.
    constexpr int WaitMs = 2000;
    QPointer<QWidget> note = window;
    bool reported = false;
    QEventLoop loop;
    auto check = [&] {
        if (!note || (reported && note->isActiveWindow()))
            loop.quit();
    };
    QObject::connect(clipboard, &QClipboard::dataChanged, &loop, [&] {
        reported = true;
        check();
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, check);
    poll.start(20);
    QTimer::singleShot(WaitMs, &loop, &QEventLoop::quit);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    QGuiApplication::restoreOverrideCursor();
    if (reported && note && note->isActiveWindow())
        return true;
    if (error && note)
        *error = QCoreApplication::translate(
            "Clipboard", "The clipboard's text could not be taken: on this desktop only the window with the "
                         "keyboard focus may read the clipboard, and the note did not get the focus in time.");
    return false;
}

bool QtClipboard::readText(QString *text, QString *error)
{
    return readSystemText(QClipboard::Clipboard, text, error);
}

bool QtClipboard::setText(const QString &text, QString *error)
{
    QClipboard *clipboard = systemClipboard(error);
    if (!clipboard)
        return false;
    clipboard->setText(text, QClipboard::Clipboard);
    // QClipboard reports nothing itself. While we own the clipboard it hands
    // back our own data, so reading it back tells whether the text got there.
    if (clipboard->text(QClipboard::Clipboard) != text) {
        if (error)
            *error = QCoreApplication::translate(
                "Clipboard", "Another program holds the clipboard; the text could not be put on it.");
        return false;
    }
    return true;
}

bool QtClipboard::readSelectionText(QString *text, QString *error)
{
    QClipboard *clipboard = systemClipboard(error);
    if (!clipboard || !clipboard->supportsSelection())
        return false;
    return readSystemText(QClipboard::Selection, text, error);
}

bool QtClipboard::clear(QString *error)
{
    QClipboard *clipboard = systemClipboard(error);
    if (!clipboard)
        return false;
    clipboard->clear(QClipboard::Clipboard);
    return true;
}

// ---- the window system -----------------------------------------------------

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

// ---- message boxes ---------------------------------------------------------

void QtMessageBoxes::show(QWidget *parent, const QString &text, const QString &title,
                          MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    title, text, QMessageBox::Ok, parent);
    box.exec();
}

// ---- file dialogs ----------------------------------------------------------

QString qtNameFilter(const QString &description, const QString &patterns)
{
    QStringList qtPatterns;
    for (const QString &pattern : patterns.split(u';', Qt::SkipEmptyParts)) {
        QString p = pattern.trimmed();
#ifndef Q_OS_WIN
        // "*.*" means every file where it comes from; here it would only
        // match names that contain a dot.
        if (p == QLatin1String("*.*"))
            p = QStringLiteral("*");
#endif
        qtPatterns << p;
    }
    if (qtPatterns.isEmpty())
        qtPatterns << QStringLiteral("*");
    return description + QLatin1String(" (") + qtPatterns.join(u' ') + u')';
}

// Qt's file dialog keeps its history, the folder last visited and its view in
// the user's settings ("QtProject"), writing them as it goes and reading them
// as it starts. The program keeps nothing between runs: its user settings lie
// where none can be read or written.
static void keepNoSettings()
{
    static const bool done = [] {
        for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null/quillpad-keeps-no-settings"));
        return true;
    }();
    Q_UNUSED(done);
}

std::optional<QString> QtFileDialogs::run(QWidget *parent, const FileDialogRequest &request)
{
    keepNoSettings();
    static NameOnlyIconProvider icons;
    QFileDialog dialog(parent, request.title, request.directory);
    // Qt's own dialog, the same on every desktop: a desktop's own may keep a
    // history of its own.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setIconProvider(&icons);
    const bool save = request.kind == FileDialogRequest::Kind::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.existingFileOnly ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    // The descriptions already name their patterns; show them as they are.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);

    QStringList filters;
    for (qsizetype i = 0; i < request.filterNames.size(); ++i)
        filters << qtNameFilter(request.filterNames.at(i), request.filterPatterns.value(i));
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.value(qBound(0, request.selectedFilter,
                                                     int(filters.size()) - 1)));
    }
    if (!request.fileName.isEmpty())
        dialog.selectFile(FileNames::display(request.fileName));

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return std::nullopt;
    // The dialog decodes names itself, losing bytes that are not UTF-8.
    return FileNames::fromDialog(chosen.first());
}

// ---- printer ---------------------------------------------------------------

// The printer must go while the application object still exists, and only
// once: the printer service alone owns it, and lets go of it then.
static QtPrinter *s_printerOwner = nullptr;

static void releasePrinter()
{
    if (s_printerOwner)
        s_printerOwner->release();
}

QtPrinter::QtPrinter() = default;

QtPrinter::~QtPrinter()
{
    if (s_printerOwner == this)
        s_printerOwner = nullptr;
}

void QtPrinter::release()
{
    m_printer.reset();
}

QPrinter &QtPrinter::device()
{
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        if (!s_printerOwner) {
            s_printerOwner = this;
            qAddPostRoutine(releasePrinter);
        }
    }
    return *m_printer;
}

QString QtPrinter::unavailableReason()
{
    QPrinter &printer = device();
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        if (printer.outputFileName().isEmpty())
            return QCoreApplication::translate(
                "Printer", "No printer is installed. Print Setup can choose a file to print to instead.");
        return QString();
    }
    const QString name = printer.printerName();
    if (name.isEmpty())
        return QCoreApplication::translate("Printer", "No printer is installed.");
    if (QPrinterInfo::printerInfo(name).isNull())
        return QCoreApplication::translate("Printer", "The printer \"%1\" is not available.").arg(name);
    return QString();
}

// Everything a user can choose in the printer dialog, from one printer to another.
static void copyPrinterSettings(const QPrinter &from, QPrinter &to)
{
    if (from.outputFormat() == QPrinter::PdfFormat) {
        to.setOutputFormat(QPrinter::PdfFormat);
    } else {
        to.setOutputFormat(QPrinter::NativeFormat);
        to.setPrinterName(from.printerName());
    }
    to.setOutputFileName(from.outputFileName());
    to.setPageLayout(from.pageLayout());
    to.setCopyCount(from.copyCount());
    to.setCollateCopies(from.collateCopies());
    to.setColorMode(from.colorMode());
    to.setDuplex(from.duplex());
    to.setPageOrder(from.pageOrder());
    to.setPaperSource(from.paperSource());
    to.setPrintRange(from.printRange());
    to.setFromTo(from.fromPage(), from.toPage());
    to.setFullPage(from.fullPage());
    to.setDocName(from.docName());
}

bool QtPrinter::runSetupDialog(QWidget *parent)
{
    // The dialog works on a copy: it changes the printer it is given as
    // soon as it opens (it picks the system's default printer), so Cancel
    // must find the program's printer untouched. What is accepted replaces it.
    auto chosen = std::make_unique<QPrinter>(QPrinter::HighResolution);
    copyPrinterSettings(device(), *chosen);
    QPrintDialog dialog(chosen.get(), parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    m_printer = std::move(chosen);
    return true;
}

// ---- modal dialogs ---------------------------------------------------------

void QtModalRunner::run(QDialog &dialog)
{
    dialog.exec();
}

// ---- the services in force -------------------------------------------------

Services &services()
{
    static QtClipboard clipboard;
    static QtMessageBoxes messages;
    static QtFileDialogs fileDialogs;
    static QtPrinter printer;
    static QtModalRunner modal;
    static QtWindowSystem windowSystem;
    static Services current{&clipboard, &messages, &fileDialogs, &printer, &modal, &windowSystem};
    return current;
}

ScopedServices::ScopedServices(const Services &replacement)
    : m_saved(services())
{
    Services &current = services();
    if (replacement.clipboard)
        current.clipboard = replacement.clipboard;
    if (replacement.messages)
        current.messages = replacement.messages;
    if (replacement.fileDialogs)
        current.fileDialogs = replacement.fileDialogs;
    if (replacement.printer)
        current.printer = replacement.printer;
    if (replacement.modal)
        current.modal = replacement.modal;
    if (replacement.windowSystem)
        current.windowSystem = replacement.windowSystem;
}

ScopedServices::~ScopedServices()
{
    services() = m_saved;
}

} // namespace sys
