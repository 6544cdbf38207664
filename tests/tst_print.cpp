// File > Print and File > Print Setup, printing into PDF files.

#include "system/QtPrinter.h"
#include "app/PrintCommands.h"
#include "files/PrintJob.h"
#include "support/Fakes.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QPageLayout>
#include <QDialogButtonBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QPrinterInfo>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

class tst_Print : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(m_dir.isValid()); }
    void cleanup() { support::endProgram(); }

    void printsTheTextAndReports();
    void emptyTextStillMakesAJob();
    void setupThenPrintUsesTheChosenPrinter();
    void cancelledSetupKeepsTheSettings();
    void realPrintDialogCancelKeepsTheSettings();
    void noPrinterOrFailedJobReportsOnce();
    void longPrintShowsProgressAndCancels();

private:
    QString pdfText(const QString &pdf);
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir m_dir;
};

QString tst_Print::pdfText(const QString &pdf)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty())
        return QStringLiteral("<pdftotext is missing: install poppler-utils>");
    QProcess p;
    p.start(tool, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

void tst_Print::printsTheTextAndReports()
{
    fake::System system(path("job.pdf"));
    frm_Quillpad &frm = support::start();
    support::clip().setText(QStringLiteral("First line of the note\nSecond line, caf\u00E9"));
    support::clip().setSelStart(3);
    const QString caption = frm.windowTitle();
    frm.action(QStringLiteral("print_clip"))->trigger();

    QCOMPARE(system.messages.shown.size(), 1);
    const fake::Message &report = system.messages.shown.first();
    QCOMPARE(report.text, QStringLiteral("Report printed on ") + path("job.pdf") + u'.');
    QCOMPARE(report.title, Module1::applicationTitle());
    QCOMPARE(report.icon, sys::MessageIcon::None);

    // The text and nothing else: no header, footer, name or report.
    const QStringList lines = pdfText(path("job.pdf")).split(u'\n', Qt::SkipEmptyParts);
    QStringList printed;
    for (const QString &line : lines) {
        if (!line.trimmed().isEmpty() && line.trimmed() != QStringLiteral("\f"))
            printed << line.trimmed();
    }
    QCOMPARE(printed, (QStringList{"First line of the note", "Second line, caf\u00E9"}));
    QCOMPARE(frm.windowTitle(), caption);
    QCOMPARE(support::clip().Text(), QStringLiteral("First line of the note\nSecond line, caf\u00E9"));
    QCOMPARE(support::clip().SelStart(), 3);
}

void tst_Print::emptyTextStillMakesAJob()
{
    fake::System system(path("empty.pdf"));
    frm_Quillpad &frm = support::start();
    support::clip().setText(QString());
    frm.action(QStringLiteral("print_clip"))->trigger();
    QVERIFY(QFile::exists(path("empty.pdf")));
    QVERIFY(QFileInfo(path("empty.pdf")).size() > 0);
    QCOMPARE(pdfText(path("empty.pdf")).trimmed(), QString());
    QCOMPARE(system.messages.shown.size(), 1);
    QVERIFY(system.messages.shown.first().text.startsWith(QStringLiteral("Report printed on ")));

    // A long text goes over several pages, all of it.
    QStringList many;
    for (int i = 0; i < 200; ++i)
        many << QStringLiteral("line %1").arg(i);
    support::clip().setText(many.join(u'\n'));
    frm.action(QStringLiteral("print_clip"))->trigger();
    const QString text = pdfText(path("empty.pdf"));
    QVERIFY(text.contains(QStringLiteral("line 0")));
    QVERIFY(text.contains(QStringLiteral("line 199")));
    QVERIFY(text.count(u'\f') >= 2);
}

void tst_Print::setupThenPrintUsesTheChosenPrinter()
{
    fake::System system(path("first.pdf"));
    frm_Quillpad &frm = support::start();
    support::clip().setText(QStringLiteral("to the chosen printer"));
    const QString caption = frm.windowTitle();
    const QString title = Module1::applicationTitle();
    system.printer->dialog = [this](QPrinter &printer) {
        printer.setOutputFileName(path("chosen.pdf"));
        return true;
    };
    frm.action(QStringLiteral("print_setup"))->trigger();
    QCOMPARE(system.printer->dialogRuns, 1);
    QVERIFY(system.messages.shown.isEmpty());
    QCOMPARE(frm.windowTitle(), caption);
    QCOMPARE(Module1::applicationTitle(), title);
    QCOMPARE(support::clip().Text(), QStringLiteral("to the chosen printer"));

    frm.action(QStringLiteral("print_clip"))->trigger();
    QVERIFY(!QFile::exists(path("first.pdf")));
    QVERIFY(pdfText(path("chosen.pdf")).contains(QStringLiteral("to the chosen printer")));
    QCOMPARE(system.messages.shown.last().text, QStringLiteral("Report printed on ") + path("chosen.pdf") + u'.');
}

void tst_Print::cancelledSetupKeepsTheSettings()
{
    fake::System system(path("kept.pdf"));
    frm_Quillpad &frm = support::start();
    system.printer->dialog = [](QPrinter &) { return false; };
    frm.action(QStringLiteral("print_setup"))->trigger();
    QVERIFY(system.messages.shown.isEmpty()); // Cancel says nothing
    frm.action(QStringLiteral("print_clip"))->trigger();
    QVERIFY(QFile::exists(path("kept.pdf")));
}

void tst_Print::realPrintDialogCancelKeepsTheSettings()
{
    // The production printer and the system's printer dialog, cancelled while open.
    sys::QtPrinter printer;
    QPrinter &device = printer.device();
    device.setOutputFormat(QPrinter::PdfFormat);
    device.setOutputFileName(path("before.pdf"));
    device.setPageOrientation(QPageLayout::Landscape);
    device.setCopyCount(3);
    const QString name = device.printerName();

    QTimer poll;
    int ticks = 0;
    bool sawDialog = false;
    QString caption;
    QString button;
    connect(&poll, &QTimer::timeout, this, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<QPrintDialog *>(modal)) {
            sawDialog = true;
            poll.stop();
            // It only chooses the printer: captioned and buttoned for that.
            caption = dialog->windowTitle();
            if (auto *buttons = dialog->findChild<QDialogButtonBox *>())
                button = buttons->button(QDialogButtonBox::Ok)->text();
            dialog->reject();
        } else if (++ticks > 500 && modal) {
            modal->close(); // never hang
        }
    });
    poll.start(10);
    QVERIFY(!printer.runSetupDialog(nullptr));
    QVERIFY(sawDialog);
    QCOMPARE(caption, QStringLiteral("Print Setup"));
    QCOMPARE(button, QStringLiteral("OK"));
    QCOMPARE(device.outputFileName(), path("before.pdf"));
    QCOMPARE(device.pageLayout().orientation(), QPageLayout::Landscape);
    QCOMPARE(device.copyCount(), 3);
    QCOMPARE(device.printerName(), name);
    QVERIFY(printer.unavailableReason().isEmpty()); // a PDF file can always be written
}

void tst_Print::noPrinterOrFailedJobReportsOnce()
{
    fake::System system(path("never.pdf"));
    frm_Quillpad &frm = support::start();
    const QString caption = frm.windowTitle();
    system.printer->unavailable = QStringLiteral("No printer is installed.");
    frm.action(QStringLiteral("print_clip"))->trigger();
    QCOMPARE(system.messages.shown.size(), 1);
    QCOMPARE(system.messages.shown.first().text, QStringLiteral("No printer is installed."));
    QCOMPARE(system.messages.shown.first().title, Module1::applicationTitle());
    QVERIFY(!QFile::exists(path("never.pdf")));

    // A job that cannot start: the report never claims success.
    system.printer->unavailable.clear();
    system.printer->device().setOutputFileName(path("no/such/folder/x.pdf"));
    frm.action(QStringLiteral("print_clip"))->trigger();
    QCOMPARE(system.messages.shown.size(), 2);
    QVERIFY(!system.messages.shown.last().text.startsWith(QStringLiteral("Report printed on")));
    QVERIFY(system.messages.shown.last().text.contains(QStringLiteral("x.pdf")));
    QCOMPARE(frm.windowTitle(), caption);

    // The production printer on a machine without printers says so.
    if (!QPrinterInfo::availablePrinters().isEmpty())
        QSKIP("this machine has printers installed");
    sys::QtPrinter real;
    QVERIFY(!real.unavailableReason().isEmpty());
}

void tst_Print::longPrintShowsProgressAndCancels()
{
    fake::System system(path("long.pdf"));
    frm_Quillpad &frm = support::start();
    QStringList lines;
    for (int i = 0; i < 2000; ++i)
        lines << QStringLiteral("line %1 of a long note to print").arg(i);
    support::clip().setText(lines.join(u'\n'));
    PrintJob::setPauseForTesting(40); // some 26 pages: a second

    // Past half a second the progress shows; the window keeps painting.
    support::PaintCounter paints;
    support::clip().viewport()->installEventFilter(&paints);
    bool cancel = true;
    bool seen = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        support::clip().viewport()->update();
        auto *progress = frm.findChild<QProgressDialog *>(QStringLiteral("printing_progress"));
        if (progress && progress->isVisible() && !seen) {
            seen = true;
            if (cancel)
                progress->findChild<QPushButton *>()->click(); // as the user does
        }
    });
    poll.start(20);
    frm.action(QStringLiteral("print_clip"))->trigger();
    QVERIFY(seen);
    QVERIFY(paints.count > 3);
    QVERIFY2(system.messages.shown.isEmpty(), qPrintable(system.messages.shown.value(0).text)); // nothing reported as printed
    QVERIFY(!QFile::exists(path("long.pdf")));

    // Left alone, the whole text is printed and reported.
    cancel = false;
    seen = false;
    frm.action(QStringLiteral("print_clip"))->trigger();
    PrintJob::setPauseForTesting(0);
    QVERIFY(seen);
    QCOMPARE(system.messages.shown.size(), 1);
    QVERIFY(system.messages.shown.first().text.startsWith(QStringLiteral("Report printed on ")));
    QVERIFY(pdfText(path("long.pdf")).contains(QStringLiteral("line 1999 of a long note")));
}

QTEST_MAIN(tst_Print)
#include "tst_print.moc"
