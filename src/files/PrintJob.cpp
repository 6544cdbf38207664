#include "PrintJob.h"

#include "../app/system/ProgressWait.h"
#include "../text/TextPages.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPrintEngine>
#include <QPrinter>
#include <QThread>
#include <QTimer>

namespace PrintJob {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PrintJob", text);
}

// Pages are painted in slices of about this long, then the window's own
// events are handled.
constexpr int SliceMs = 25;

int s_pause = 0;

// Qt's print engines cannot abort a job once it has begun (QPrinter::abort()
// is a no-op for them), and ending the painter hands whatever was painted to
// the print system. So a cancelled job is spoiled before it ends: a job for
// a printer asks for a document format no print server takes, and the
// server cancels it; a PDF file is removed.
void spoil(QPrinter &printer)
{
    if (printer.outputFileName().isEmpty() && printer.outputFormat() == QPrinter::NativeFormat) {
        // The CUPS options of Qt's print engine (QCUPSSupport's property key).
        const auto cupsOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);
        QStringList options = printer.printEngine()->property(cupsOptions).toStringList();
        options << QStringLiteral("document-format") << QStringLiteral("application/x-quillpad-cancelled-job");
        printer.printEngine()->setProperty(cupsOptions, options);
    }
}

} // namespace

void setPauseForTesting(int milliseconds)
{
    s_pause = milliseconds;
}

QString printerIdentity(const QPrinter &printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat || !printer.outputFileName().isEmpty())
        return QDir::toNativeSeparators(printer.outputFileName());
    return printer.printerName();
}

Result print(QPrinter &printer, const TextDocument &document, QWidget *parent)
{
    QPainter painter;
    if (!painter.begin(&printer))
        return {Outcome::Failed, tr("The print job could not be started on %1.").arg(printerIdentity(printer))};

    // The text as it is now: a change while the pages are painted ends the job.
    bool changed = false;
    QObject guard;
    QObject::connect(&document, &TextDocument::aboutToChange, &guard, [&changed] { changed = true; });
    QObject::connect(&document, &TextDocument::aboutToReset, &guard, [&changed] { changed = true; });

    TextPages pages(document, QFont(), &printer, printer.pageRect(QPrinter::DevicePixel).size());
    sys::ProgressWait wait(parent, tr("Printing to %1...").arg(printerIdentity(printer)),
                           QStringLiteral("printing_progress"));
    int painted = 0;
    bool pageRefused = false;
    QTimer slice;
    QObject::connect(&slice, &QTimer::timeout, &guard, [&] {
        QElapsedTimer clock;
        clock.start();
        while (!changed && !pages.atEnd() && clock.elapsed() < SliceMs) {
            if (painted > 0 && !printer.newPage()) {
                pageRefused = true;
                break;
            }
            pages.paintNextPage(painter);
            ++painted;
            if (s_pause > 0)
                QThread::msleep(s_pause);
        }
        wait.setProgress(int(qint64(pages.linesDone()) * 1000 / qMax(1, pages.lineCount())));
        if (changed || pageRefused || pages.atEnd()) {
            slice.stop();
            wait.finish();
        }
    });
    slice.start(0);
    const sys::ProgressWait::Outcome waited = wait.wait();
    slice.stop();

    const bool complete = waited == sys::ProgressWait::Outcome::Finished && pages.atEnd() && !changed && !pageRefused;
    if (!complete)
        spoil(printer);
    const bool ended = painter.end();
    if (!complete && !printer.outputFileName().isEmpty())
        QFile::remove(printer.outputFileName());
    if (pageRefused)
        return {Outcome::Failed, tr("The printer did not take page %1.").arg(painted + 1)};
    if (changed)
        return {Outcome::Failed, tr("The text changed while it was being printed, so the job was cancelled.")};
    if (!complete)
        return {Outcome::Cancelled, QString()};
    if (!ended || printer.printerState() == QPrinter::Error || printer.printerState() == QPrinter::Aborted)
        return {Outcome::Failed, tr("The print job failed on %1.").arg(printerIdentity(printer))};
    return {Outcome::Printed, QString()};
}

} // namespace PrintJob
