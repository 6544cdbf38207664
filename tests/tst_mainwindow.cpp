// The note window: its menu, its layout, the resize rule and how it ends.

#include "app/ResizeRule.h"
#include "ui/Twips.h"
#include "files/CommonDialog.h"
#include "search/frm_search.h"
#include "support/Fakes.h"
#include "support/TestSupport.h"

#include <QFontInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { support::endProgram(); }

    void menuTable();
    void layoutAndDesignValues();
    void resizeRule();
    void windowAppliesTheResizeRule();
    void exitEndsEverything_data();
    void exitEndsEverything();
};

namespace {

struct Row
{
    int depth;
    QString name;
    QString caption;
    QKeySequence shortcut;
    bool checkable;
    bool checked;
};

void collect(const QList<QAction *> &actions, int depth, QList<Row> *rows)
{
    for (QAction *a : actions) {
        rows->append({depth, a->objectName(), a->isSeparator() ? QStringLiteral("-") : a->text(),
                      a->shortcut(), a->isCheckable(), a->isChecked()});
        QVERIFY2(a->isEnabled() && a->isVisible(), qPrintable(a->objectName()));
        if (a->menu())
            collect(a->menu()->actions(), depth + 1, rows);
    }
}

} // namespace

void tst_MainWindow::menuTable()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    QList<Row> rows;
    collect(frm.menuBar()->actions(), 0, &rows);

    const QKeySequence none;
    const QList<Row> expected = {
        {0, "File_stuff", "&File", none, false, false},
        {1, "open_it", "&Open", none, false, false},
        {1, "save_as", "&Save As...", none, false, false},
        {1, "line1", "-", none, false, false},
        {1, "print_setup", "Print Set&up", none, false, false},
        {1, "print_clip", "&Print", none, false, false},
        {1, "line2", "-", none, false, false},
        {1, "exit_quillpad", "E&xit", none, false, false},
        {0, "edit_stuff", "&Edit", none, false, false},
        {1, "copy_to_clip", "&Copy", QKeySequence(Qt::CTRL | Qt::Key_Insert), false, false},
        {1, "paste_from_clip", "&Paste", QKeySequence(Qt::SHIFT | Qt::Key_Insert), false, false},
        {0, "search", "&Search", none, false, false},
        {1, "findit", "&Find", QKeySequence(Qt::CTRL | Qt::Key_F), false, false},
        {1, "find_again", "Find A&gain", QKeySequence(Qt::CTRL | Qt::Key_G), false, false},
        {0, "option_list", "&Options", none, false, false},
        {1, "Get_New_clip", "&Get New Clip Text", none, false, false},
        {1, "Stay_On_Top", "&Stay On Top", none, true, false},
        {1, "win_name", "Set Window &Name", none, false, false},
        {1, "mnu_color", "&Backgound &Colors", none, false, false},
        {2, "mnu_yellow", "&Yellow", none, true, true},
        {2, "mnu_blue", "&Blue", none, true, false},
        {2, "mnu_black", "Blac&k", none, true, false},
        {0, "Help", "&Help", none, false, false},
        {1, "ABout", "&About", none, false, false},
    };
    QCOMPARE(rows.size(), expected.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const Row &r = rows.at(i), &e = expected.at(i);
        const QByteArray where = e.name.toLatin1();
        QVERIFY2(r.depth == e.depth, where);
        QVERIFY2(r.name == e.name, qPrintable(r.name + QStringLiteral(" instead of ") + e.name));
        QVERIFY2(r.caption == e.caption, qPrintable(r.caption));
        QVERIFY2(r.shortcut == e.shortcut, where);
        QVERIFY2(r.checkable == e.checkable && r.checked == e.checked, where);
    }
}

void tst_MainWindow::layoutAndDesignValues()
{
    fake::System system;
    frm_Quillpad frm;
    QCOMPARE(frm.windowTitle(), QStringLiteral("Quillpad 1.0.11")); // until start-up names it
    frm.show();
    QCOMPARE(frm.centralWidget()->size(), Twips::toPixels(7050, 4500));
    QCOMPARE(frm.centralWidget()->palette().color(QPalette::Window), QColor(255, 255, 0));
    ClipText *clip = frm.clipText();
    QCOMPARE(clip->pos(), QPoint(0, 0));
    QCOMPARE(clip->parentWidget(), frm.centralWidget());
    QCOMPARE(clip->BackColor(), QColor(255, 255, 0));
    QCOMPARE(clip->ForeColor(), QColor(0, 0, 0));
    QVERIFY(clip->font().bold());
    QCOMPARE(clip->font().pointSizeF(), 8.25);
    const QFontMetrics metrics(clip->font()); // Courier New, or another fixed-pitch font
    QCOMPARE(metrics.horizontalAdvance(u'i'), metrics.horizontalAdvance(u'W'));
    QTest::keyClicks(clip, QStringLiteral("ok")); // editable
    QCOMPARE(clip->Text(), QStringLiteral("ok"));
    // Long lines wrap to the text area's width.
    clip->setText(QString(400, u'w'));
    QVERIFY(clip->layouts().rowMap().total() > 1);
    QVERIFY(!frm.windowIcon().isNull());
    QCOMPARE(frm.CMDialog1().objectName(), QStringLiteral("CMDialog1"));
}

void tst_MainWindow::resizeRule()
{
    const TextAreaSize start{7095, 4335};
    TextAreaSize s = ::resizeRule(6000, 4000, start);
    QCOMPARE(s.width, 5900.0f);
    QCOMPARE(s.height, 3300.0f);
    s = ::resizeRule(3000, 1500, s); // too low: only the width follows
    QCOMPARE(s.width, 2900.0f);
    QCOMPARE(s.height, 3300.0f);
    s = ::resizeRule(3000, 1501, s);
    QCOMPARE(s.height, 801.0f);
    s = ::resizeRule(50, 400, s); // as small as a minimised window reports
    QCOMPARE(s.width, -50.0f);
    QCOMPARE(s.height, 801.0f);
}

void tst_MainWindow::windowAppliesTheResizeRule()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    int keptHeight = 0;
    for (const QSize size : {QSize(400, 300), QSize(600, 500), QSize(300, 90), QSize(700, 95)}) {
        frm.resize(size);
        QCoreApplication::processEvents();
        const QSize outer = frm.frameGeometry().size();
        if (size.height() == 500)
            keptHeight = clip.height();
        QCOMPARE(clip.width(), Twips::toPixels(float(Twips::fromPixels(outer.width())) - 100.0f));
        if (Twips::fromPixels(outer.height()) > 1500)
            QCOMPARE(clip.height(), Twips::toPixels(float(Twips::fromPixels(outer.height())) - 700.0f));
        QCOMPARE(clip.pos(), QPoint(0, 0));
    }
    // The last two were too low: the height from the 600 x 500 window stays.
    QCOMPARE(clip.height(), keptHeight);
}

void tst_MainWindow::exitEndsEverything_data()
{
    QTest::addColumn<bool>("byMenu");
    QTest::newRow("File > Exit") << true;
    QTest::newRow("close box") << false;
}

void tst_MainWindow::exitEndsEverything()
{
    QFETCH(bool, byMenu);
    fake::System system;
    frm_Quillpad &frm = support::start();
    support::clip().setText(QStringLiteral("edited, never saved"));
    frm.action(QStringLiteral("findit"))->trigger();
    QPointer<frm_search> search = Module1::searchDialog();
    QVERIFY(search && search->isVisible());
    QWidget other; // any other window of the program
    other.show();

    QPointer<frm_Quillpad> main = &frm;
    QTimer::singleShot(0, main, [&] {
        if (byMenu)
            frm.action(QStringLiteral("exit_quillpad"))->trigger();
        else
            frm.close();
    });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); }); // never hang
    QCOMPARE(QCoreApplication::exec(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!main);
    QVERIFY(!search);
    QVERIFY(!other.isVisible());
    QVERIFY(system.messages.shown.isEmpty()); // nothing asked
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
