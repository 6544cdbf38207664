#include "PrintCommands.h"

#include "ClipText.h"
#include "files/CommonDialog.h"
#include "files/PrintJob.h"
#include "ui/Program.h"

#include <QCoreApplication>
#include <QPointer>

namespace PrintCommands {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PrintCommands", text);
}

} // namespace

void printClip(const ClipText &text)
{
    sys::Printer &printer = *sys::services().printer;
    const QString unavailable = printer.unavailableReason();
    if (!unavailable.isEmpty()) {
        Program::showMessage(unavailable);
        return;
    }
    // The text, each line on rows of its own; the line end after the last
    // line ends it and starts no row.
    QPointer<const ClipText> note = &text;
    const PrintJob::Result job = PrintJob::print(printer.device(), text.document(), text.window());
    if (!note || job.outcome == PrintJob::Outcome::Cancelled)
        return;
    if (job.outcome == PrintJob::Outcome::Failed) {
        Program::showMessage(job.error);
        return;
    }
    const QString refused = printer.jobRefusal();
    if (!refused.isEmpty()) {
        Program::showMessage(tr("The print job failed on %1: %2")
                                 .arg(PrintJob::printerIdentity(printer.device()), refused));
        return;
    }
    Program::showMessage(tr("Report printed on ") + PrintJob::printerIdentity(printer.device()) + u'.');
}

void printSetup(CommonDialog &dialog)
{
    // Nothing is read back: the printer chosen there is the one Print uses.
    dialog.setAction(CommonDialog::ShowPrinterAction);
}

} // namespace PrintCommands
