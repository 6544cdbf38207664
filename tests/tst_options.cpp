// The colour schemes of the Options menu.

#include "support/Fakes.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QScrollBar>

class tst_Options : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { support::endProgram(); }

    void blueKeepsTheSelection();
    void blackThenYellow();
    void emptyText();
    void largeTextKeepsSelectionAndView();

private:
    static QColor colourAt(ClipText &clip, int position) { return clip.colorAt(position); }
    static QStringList checked(frm_Quillpad &frm)
    {
        QStringList on;
        for (const char *name : {"mnu_yellow", "mnu_blue", "mnu_black"}) {
            if (frm.action(QString::fromLatin1(name))->isChecked())
                on << QString::fromLatin1(name);
        }
        return on;
    }
};

void tst_Options::blueKeepsTheSelection()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setText(QStringLiteral("abc"));
    clip.setSelStart(1);
    clip.setSelLength(2);
    frm.action(QStringLiteral("mnu_blue"))->trigger();
    QCOMPARE(clip.BackColor(), QColor(0, 0, 255));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(colourAt(clip, i), QColor(255, 255, 0));
    QCOMPARE(clip.SelStart(), 1);
    QCOMPARE(clip.SelLength(), 2);
    QCOMPARE(clip.SelText(), QStringLiteral("bc"));
    QCOMPARE(checked(frm), QStringList{"mnu_blue"});
    QCOMPARE(clip.Text(), QStringLiteral("abc"));

    // Text that arrives afterwards is readable on the new background.
    QCOMPARE(clip.ForeColor(), QColor(255, 255, 0));
}

void tst_Options::blackThenYellow()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setText(QStringLiteral("line one\nline two"));
    frm.action(QStringLiteral("mnu_black"))->trigger();
    QCOMPARE(clip.BackColor(), QColor(0, 0, 0));
    QCOMPARE(colourAt(clip, 12), QColor(255, 255, 0));
    QCOMPARE(checked(frm), QStringList{"mnu_black"});

    frm.action(QStringLiteral("mnu_yellow"))->trigger();
    QCOMPARE(clip.BackColor(), QColor(255, 255, 0));
    QCOMPARE(colourAt(clip, 0), QColor(0, 0, 0));
    QCOMPARE(colourAt(clip, 12), QColor(0, 0, 0));
    QCOMPARE(checked(frm), QStringList{"mnu_yellow"});
    // The same scheme again changes nothing more.
    frm.action(QStringLiteral("mnu_yellow"))->trigger();
    QCOMPARE(checked(frm), QStringList{"mnu_yellow"});
    QCOMPARE(frm.centralWidget()->palette().color(QPalette::Window), QColor(255, 255, 0)); // the window's own
}

void tst_Options::emptyText()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setText(QString());
    frm.action(QStringLiteral("mnu_blue"))->trigger();
    QCOMPARE(clip.BackColor(), QColor(0, 0, 255));
    QCOMPARE(clip.Text(), QString());
    QCOMPARE(clip.SelStart(), 0);
    QCOMPARE(checked(frm), QStringList{"mnu_blue"});
}

void tst_Options::largeTextKeepsSelectionAndView()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    QStringList lines;
    for (int i = 0; i < 20000; ++i)
        lines << QStringLiteral("line %1 of a long note").arg(i);
    clip.setText(lines.join(u'\n'));
    // A selection far past any 16-bit position, and a view scrolled elsewhere.
    clip.setSelStart(300000);
    clip.setSelLength(70000);
    clip.verticalScrollBar()->setValue(100);
    const int scrolled = clip.verticalScrollBar()->value();
    frm.action(QStringLiteral("mnu_black"))->trigger();
    QCOMPARE(clip.SelStart(), 300000);
    QCOMPARE(clip.SelLength(), 70000);
    QCOMPARE(clip.verticalScrollBar()->value(), scrolled);
    QCOMPARE(colourAt(clip, clip.length() - 1), QColor(255, 255, 0));
    QCOMPARE(colourAt(clip, 0), QColor(255, 255, 0));
}

QTEST_MAIN(tst_Options)
#include "tst_options.moc"
