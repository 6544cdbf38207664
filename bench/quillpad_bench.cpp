// Quillpad measured: start-up until shown and idle, then, with "ops", the
// commands on a large file, with "rest", the processor time it takes while
// it sits, or with "print", File > Print to a PDF file, menu to report.
// Usage:
//   quillpad_bench startup FILE | --clipboard N   (first_screen_ms, startup_ms: whole text in and idle)
//   quillpad_bench ops FILE SINGLE_LINE_FILE OUT_FILE THAI_LINE_FILE
//   quillpad_bench rest FILE
//   quillpad_bench print FILE OUT_PDF
#include "BenchProbe.h"

#include "app/ClipText.h"
#include "app/Module1.h"
#include "app/frm_Quillpad.h"
#include "system/SystemServices.h"
#include "search/frm_search.h"

#include <QApplication>
#include <QComboBox>
#include <QPrinter>

#include <memory>

namespace {

class ScriptedDialogs final : public sys::FileDialogs
{
public:
    QString answer;
    std::optional<QString> run(QWidget *, const sys::FileDialogRequest &) override { return answer; }
};

class SilentMessages final : public sys::MessageBoxes
{
public:
    int shown = 0;
    void show(QWidget *, const QString &, const QString &, sys::MessageIcon) override { ++shown; }
};

// The printer: a PDF file, as Print Setup may choose. Made when first asked
// for, as the program's own is: a printer loads the print plug-ins.
class PdfPrinter final : public sys::Printer
{
public:
    void setFile(const QString &path) { device().setOutputFileName(path); }
    QPrinter &device() override
    {
        if (!m_printer) {
            m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            m_printer->setOutputFormat(QPrinter::PdfFormat);
        }
        return *m_printer;
    }
    QString unavailableReason() override { return QString(); }
    bool runSetupDialog(QWidget *) override { return false; }

private:
    std::unique_ptr<QPrinter> m_printer;
};

} // namespace

int main(int argc, char **argv)
{
    bench::clock().start();
    if (argc < 3)
        return 2;
    int qtArgc = 1;
    char *qtArgv[] = {argv[0], nullptr};
    bench::Application app(qtArgc, qtArgv);
    const bench::Arguments args = bench::arguments(argc, argv);
    // The first screen: the note's text area painted with text in it.
    app.firstScreen = [](QObject *painted) {
        auto *clip = qobject_cast<ClipText *>(painted->parent());
        return clip && painted == clip->viewport() && clip->length() > 0;
    };

    ScriptedDialogs dialogs;
    SilentMessages messages;
    PdfPrinter printer;
    sys::ScopedServices scripted(sys::Services{nullptr, &messages, &dialogs, &printer});

    std::unique_ptr<bench::IdleProbe> probe;
    auto afterStart = [&] {
        bench::report("startup_ms", bench::clock().nsecsElapsed() / 1e6);
        bench::report("peak_rss_mb", bench::peakMegabytes());
        frm_Quillpad &frm = *Module1::mainWindow();
        ClipText &clip = *frm.clipText();
        if (args.mode == QLatin1String("rest")) {
            QApplication::setActiveWindow(&frm);
            clip.setFocus();
            bench::measureRest(5, [] { QCoreApplication::quit(); });
            return;
        }
        if (args.mode == QLatin1String("print")) {
            printer.setFile(args.rest.value(0));
            double ms = 0;
            bench::report("print_added_mb", bench::addedMegabytes([&] {
                ms = bench::timed(&clip, [&] { frm.print_clip_Click(); });
            }));
            bench::report("print_ms", ms);
            bench::report("print_reports", messages.shown);
            QCoreApplication::quit();
            return;
        }
        if (args.mode != QLatin1String("ops")) {
            QCoreApplication::quit();
            return;
        }
        dialogs.answer = args.source;
        bench::report("open_ms", bench::timed(&clip, [&] { frm.open_it_Click(); }));
        dialogs.answer = args.rest.value(1);
        bench::report("save_ms", bench::timed(&clip, [&] { frm.save_as_Click(); }));

        frm_search &search = Module1::loadedSearchDialog();
        clip.setSelStart(0);
        search.cbo_search()->setEditText(QStringLiteral("ZZQUILLEND"));
        bench::report("search_end_ms", bench::timed(&clip, [&] { search.search_it(); }));

        // The search itself across the whole text, for a string it does not hold.
        bench::report("find_whole_text_ms", bench::timed(&clip, [&] {
            clip.Find(QStringLiteral("ZZNOWHERE"), 0);
        }));

        clip.setSelStart(0);
        search.cbo_search()->setEditText(QStringLiteral("needle"));
        bench::report("find_again_1000_ms", bench::timed(&clip, [&] {
            for (int i = 0; i < 1000; ++i)
                frm.find_again_Click();
        }));
        bench::report("recolour_ms", bench::timed(&clip, [&] { frm.mnu_blue_Click(); }));
        bench::report("not_found_messages", messages.shown);

        bench::report("page_up_200_ms", bench::timed(&clip, [&] {
            bench::key(clip, Qt::Key_End, Qt::ControlModifier);
            for (int i = 0; i < 200; ++i) {
                bench::key(clip, Qt::Key_PageUp);
                clip.viewport()->repaint();
            }
        }));
        bench::report("copy_all_ms", bench::timed(&clip, [&] {
            bench::key(clip, Qt::Key_A, Qt::ControlModifier);
            frm.copy_to_clip_Click();
        }));

        dialogs.answer = args.rest.value(0);
        frm.open_it_Click();
        bench::key(clip, Qt::Key_End, Qt::ControlModifier);
        clip.viewport()->repaint();
        bench::report("type_single_line_ms", bench::timed(&clip, [&] {
            bench::key(clip, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        }));

        // Words in a long line of Thai without blanks, found by dictionary:
        // moving through it, and moving after each typed character.
        dialogs.answer = args.rest.value(2);
        frm.open_it_Click();
        clip.setSelStart(clip.length() / 2);
        clip.viewport()->repaint();
        bench::report("thai_word_move_ms", bench::timed(&clip, [&] {
            for (int i = 0; i < 200; ++i) {
                bench::key(clip, Qt::Key_Right, Qt::ControlModifier);
                clip.viewport()->repaint();
            }
        }) / 200);
        bench::report("thai_typed_word_move_ms", bench::timed(&clip, [&] {
            for (int i = 0; i < 20; ++i) {
                bench::key(clip, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
                bench::key(clip, Qt::Key_Right, Qt::ControlModifier);
                clip.viewport()->repaint();
            }
        }) / 20);
        bench::report("peak_rss_after_ops_mb", bench::peakMegabytes());
        QCoreApplication::quit();
    };

    Module1::Main(args.source);
    probe = std::make_unique<bench::IdleProbe>(Module1::mainWindow()->clipText(), afterStart);
    return app.exec();
}
