#include "QtPrinter.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QPrinter>
#include <QPrinterInfo>

#include <dlfcn.h>

namespace sys {

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

QString QtPrinter::jobRefusal()
{
    // Qt's print engine hands the job to CUPS on this thread as the painter
    // ends and does not say what the server answered; libcups keeps that
    // answer for the thread. It is asked of the libcups Qt's CUPS support has
    // loaded (where none is loaded, no job went to CUPS).
    const QPrinter &printer = device();
    if (printer.outputFormat() != QPrinter::NativeFormat || !printer.outputFileName().isEmpty())
        return QString();
    void *cups = ::dlopen("libcups.so.2", RTLD_LAZY | RTLD_NOLOAD);
    if (!cups)
        return QString();
    using LastError = int (*)();
    using LastErrorString = const char *(*)();
    const auto lastError = reinterpret_cast<LastError>(::dlsym(cups, "cupsLastError"));
    const auto lastErrorString = reinterpret_cast<LastErrorString>(::dlsym(cups, "cupsLastErrorString"));
    QString reason;
    // IPP's successful answers are 0x0000 to 0x00FF.
    if (lastError && lastErrorString && lastError() > 0x00FF) {
        reason = QString::fromUtf8(lastErrorString()).trimmed();
        if (reason.isEmpty())
            reason = QCoreApplication::translate("Printer", "The print server refused the job (IPP status 0x%1).")
                         .arg(lastError(), 4, 16, QLatin1Char('0'));
    }
    ::dlclose(cups);
    return reason;
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
    // Qt's dialog is made for printing at once; here it only chooses.
    dialog.setWindowTitle(QCoreApplication::translate("Printer", "Print Setup"));
    for (auto *buttons : dialog.findChildren<QDialogButtonBox *>()) {
        QPushButton *ok = buttons->button(QDialogButtonBox::Ok);
        if (ok && buttons->window() == &dialog)
            ok->setText(QCoreApplication::translate("Printer", "OK"));
    }
    if (dialog.exec() != QDialog::Accepted)
        return false;
    m_printer = std::move(chosen);
    return true;
}

} // namespace sys
