// The toolkit's floor: a bare window with one QPlainTextEdit that reads the
// same file, sets the same text and does the same work with Qt's own calls.
// Same usage as quillpad_bench, and "baseline_bench window -": the bare
// window alone, until it is ended; "baseline_bench empty -": the same, ended
// once it has painted (first_screen_ms).
#include "BenchProbe.h"

#include <QApplication>
#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QPainter>
#include <QPrinter>
#include <QFile>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QTextCursor>
#include <QTextDocument>

namespace {

QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

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

    QPlainTextEdit edit;
    edit.resize(470, 300);
    // An empty window's start: until its first paint is done.
    if (args.mode == QLatin1String("empty")) {
        app.firstScreen = [&edit](QObject *painted) {
            if (painted != edit.viewport())
                return false;
            QTimer::singleShot(0, [] { QCoreApplication::quit(); });
            return true;
        };
    }
    edit.show();
    // A bare window for a compositor to show, measured from outside.
    if (args.mode == QLatin1String("window") || args.mode == QLatin1String("empty"))
        return app.exec();
    edit.setPlainText(args.source.isEmpty() ? QGuiApplication::clipboard()->text() : readText(args.source));

    auto afterStart = [&] {
        bench::report("startup_ms", bench::clock().nsecsElapsed() / 1e6);
        bench::report("peak_rss_mb", bench::peakMegabytes());
        if (args.mode == QLatin1String("rest")) {
            QApplication::setActiveWindow(&edit);
            edit.setFocus();
            bench::measureRest(5, [] { QCoreApplication::quit(); });
            return;
        }
        if (args.mode == QLatin1String("print")) {
            // Printing as a QTextDocument: the text copied into one, laid out
            // page by page in the printer's default font.
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(args.rest.value(0));
            double ms = 0;
            bench::report("print_added_mb", bench::addedMegabytes([&] {
                ms = bench::timed(&edit, [&] {
                    QPainter painter(&printer);
                    QTextDocument document;
                    document.documentLayout()->setPaintDevice(&printer);
                    document.setDefaultFont(QFont());
                    document.setPlainText(edit.toPlainText() + u'\n');
                    const QSizeF page = printer.pageRect(QPrinter::DevicePixel).size();
                    document.setPageSize(page);
                    for (int i = 0; i < document.pageCount(); ++i) {
                        if (i > 0)
                            printer.newPage();
                        painter.save();
                        painter.translate(0, -page.height() * i);
                        document.drawContents(&painter, QRectF(QPointF(0, page.height() * i), page));
                        painter.restore();
                    }
                });
            }));
            bench::report("print_ms", ms);
            QCoreApplication::quit();
            return;
        }
        if (args.mode != QLatin1String("ops")) {
            QCoreApplication::quit();
            return;
        }
        QTextDocument *doc = edit.document();
        bench::report("open_ms", bench::timed(&edit, [&] { edit.setPlainText(readText(args.source)); }));
        bench::report("save_ms", bench::timed(&edit, [&] {
            QSaveFile out(args.rest.value(1));
            if (out.open(QIODevice::WriteOnly)) {
                out.write(edit.toPlainText().toUtf8() + "\r\n");
                out.commit();
            }
        }));
        bench::report("search_end_ms", bench::timed(&edit, [&] {
            const QTextCursor found = doc->find(QStringLiteral("ZZQUILLEND"), QTextCursor(doc));
            if (!found.isNull())
                edit.setTextCursor(found);
        }));
        bench::report("find_whole_text_ms", bench::timed(&edit, [&] {
            doc->find(QStringLiteral("ZZNOWHERE"), QTextCursor(doc));
        }));
        edit.moveCursor(QTextCursor::Start);
        bench::report("find_again_1000_ms", bench::timed(&edit, [&] {
            QTextCursor at = edit.textCursor();
            for (int i = 0; i < 1000; ++i) {
                at = doc->find(QStringLiteral("needle"), at);
                if (at.isNull())
                    break;
                edit.setTextCursor(at);
            }
        }));
        bench::report("recolour_ms", bench::timed(&edit, [&] {
            QPalette p = edit.palette();
            p.setColor(QPalette::Base, Qt::blue);
            edit.setPalette(p);
            QTextCursor all(doc);
            all.select(QTextCursor::Document);
            QTextCharFormat yellow;
            yellow.setForeground(QColor(255, 255, 0));
            all.mergeCharFormat(yellow);
        }));
        bench::report("not_found_messages", 0);

        bench::report("page_up_200_ms", bench::timed(&edit, [&] {
            bench::key(edit, Qt::Key_End, Qt::ControlModifier);
            for (int i = 0; i < 200; ++i) {
                bench::key(edit, Qt::Key_PageUp);
                edit.viewport()->repaint();
            }
        }));
        bench::report("copy_all_ms", bench::timed(&edit, [&] {
            bench::key(edit, Qt::Key_A, Qt::ControlModifier);
            edit.copy();
        }));

        edit.setPlainText(readText(args.rest.value(0)));
        bench::key(edit, Qt::Key_End, Qt::ControlModifier);
        edit.viewport()->repaint();
        bench::report("type_single_line_ms", bench::timed(&edit, [&] {
            bench::key(edit, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        }));

        edit.setPlainText(readText(args.rest.value(2)));
        QTextCursor middle(doc);
        middle.setPosition(doc->characterCount() / 2);
        edit.setTextCursor(middle);
        edit.viewport()->repaint();
        bench::report("thai_word_move_ms", bench::timed(&edit, [&] {
            for (int i = 0; i < 200; ++i) {
                bench::key(edit, Qt::Key_Right, Qt::ControlModifier);
                edit.viewport()->repaint();
            }
        }) / 200);
        bench::report("thai_typed_word_move_ms", bench::timed(&edit, [&] {
            for (int i = 0; i < 20; ++i) {
                bench::key(edit, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
                bench::key(edit, Qt::Key_Right, Qt::ControlModifier);
                edit.viewport()->repaint();
            }
        }) / 20);
        bench::report("peak_rss_after_ops_mb", bench::peakMegabytes());
        QCoreApplication::quit();
    };
    bench::IdleProbe probe(&edit, afterStart);
    return app.exec();
}
