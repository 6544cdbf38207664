#include "PrintJob.h"

#include "text/TextPages.h"
#include "system/ProgressWait.h"

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
// does nothing for them), and ending the painter hands whatever was painted
// to the print system. So a job that is given up is spoiled before it ends:
// a job for a printer asks for no copies at all, which the print server
// refuses, so that no job is even created; the spoiler goes again once the
// job is over, as the printer prints the next job as chosen. A PDF file is
// removed afterwards.
class Spoiler
{
public:
    explicit Spoiler(QPrinter &printer)
        : m_printer(printer)
    {
    }

    void spoil()
    {
        if (!m_printer.outputFileName().isEmpty() || m_printer.outputFormat() != QPrinter::NativeFormat)
            return;
        QPrintEngine *engine = m_printer.printEngine();
        m_options = engine->property(CupsOptions);
        m_copies = engine->property(QPrintEngine::PPK_CopyCount);
        m_spoiled = true;
        // Only ours: the engine passes its own count only when it is more than one.
        QStringList options = m_options.toStringList();
        for (qsizetype i = 0; i + 1 < options.size();) {
            if (options.at(i) == QLatin1String("copies"))
                options.remove(i, 2);
            else
                i += 2;
        }
        options << QStringLiteral("copies") << QStringLiteral("0");
        engine->setProperty(CupsOptions, options);
        engine->setProperty(QPrintEngine::PPK_CopyCount, 1);
    }

    ~Spoiler()
    {
        if (!m_spoiled)
            return;
        m_printer.printEngine()->setProperty(CupsOptions, m_options);
        m_printer.printEngine()->setProperty(QPrintEngine::PPK_CopyCount, m_copies);
    }

private:
    // The CUPS options of Qt's print engine (QCUPSSupport's property key).
    static constexpr auto CupsOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);
    QPrinter &m_printer;
    QVariant m_options;
    QVariant m_copies;
    bool m_spoiled = false;
};

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
    Spoiler spoiler(printer);
    if (!complete)
        spoiler.spoil();
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
