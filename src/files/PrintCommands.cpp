#include "PrintCommands.h"

#include "CommonDialog.h"
#include "../app/ClipText.h"
#include "../app/Module1.h"
#include "../app/frm_Quillpad.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <QPrinter>
#include <QTextDocument>

namespace PrintCommands {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PrintCommands", text);
}

} // namespace

QString printerIdentity(const QPrinter &printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat || !printer.outputFileName().isEmpty())
        return QDir::toNativeSeparators(printer.outputFileName());
    return printer.printerName();
}

bool printText(QPrinter &printer, const QString &text, QString *error)
{
    QPainter painter;
    if (!painter.begin(&printer)) {
        *error = tr("The print job could not be started on %1.").arg(printerIdentity(printer));
        return false;
    }

    QTextDocument document;
    document.documentLayout()->setPaintDevice(&printer);
    document.setDefaultFont(QFont());
    document.setPlainText(text);
    const QSizeF page = printer.pageRect(QPrinter::DevicePixel).size();
    document.setPageSize(page);

    const int pages = document.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0 && !printer.newPage()) {
            painter.end();
            *error = tr("The printer did not take page %1.").arg(i + 1);
            return false;
        }
        painter.save();
        painter.translate(0, -page.height() * i);
        document.drawContents(&painter, QRectF(QPointF(0, page.height() * i), page));
        painter.restore();
    }
    if (!painter.end() || printer.printerState() == QPrinter::Error
        || printer.printerState() == QPrinter::Aborted) {
        *error = tr("The print job failed on %1.").arg(printerIdentity(printer));
        return false;
    }
    return true;
}

void printClip(frm_Quillpad &frm)
{
    sys::Printer &printer = *sys::services().printer;
    const QString unavailable = printer.unavailableReason();
    if (!unavailable.isEmpty()) {
        Module1::MsgBox(unavailable);
        return;
    }
    QString error;
    if (!printText(printer.device(), frm.clipText()->Text() + u'\n', &error)) {
        Module1::MsgBox(error);
        return;
    }
    Module1::MsgBox(tr("Report printed on ") + printerIdentity(printer.device()) + u'.');
}

void printSetup(frm_Quillpad &frm)
{
    // Nothing is read back: the printer chosen there is the one Print uses.
    frm.CMDialog1().setAction(CommonDialog::ShowPrinterAction);
}

} // namespace PrintCommands
