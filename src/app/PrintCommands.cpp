#include "PrintCommands.h"

#include "ClipText.h"
#include "frm_Quillpad.h"
#include "Module1.h"
#include "files/CommonDialog.h"
#include "files/PrintJob.h"

#include <QCoreApplication>
#include <QPointer>

namespace PrintCommands {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PrintCommands", text);
}

} // namespace

void printClip(frm_Quillpad &frm)
{
    sys::Printer &printer = *sys::services().printer;
    const QString unavailable = printer.unavailableReason();
    if (!unavailable.isEmpty()) {
        Module1::MsgBox(unavailable);
        return;
    }
    // The text, each line on rows of its own; the line end after the last
    // line ends it and starts no row.
    QPointer<frm_Quillpad> window = &frm;
    const PrintJob::Result job = PrintJob::print(printer.device(), frm.clipText()->document(), &frm);
    if (!window || job.outcome == PrintJob::Outcome::Cancelled)
        return;
    if (job.outcome == PrintJob::Outcome::Failed) {
        Module1::MsgBox(job.error);
        return;
    }
    Module1::MsgBox(tr("Report printed on ") + PrintJob::printerIdentity(printer.device()) + u'.');
}

void printSetup(frm_Quillpad &frm)
{
    // Nothing is read back: the printer chosen there is the one Print uses.
    frm.CMDialog1().setAction(CommonDialog::ShowPrinterAction);
}

} // namespace PrintCommands
