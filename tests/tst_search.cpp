// The Search For... dialog, Find and Find Again.

#include "ui/Twips.h"
#include "search/frm_search.h"
#include "support/Fakes.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class tst_Search : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { support::endProgram(); }

    void layout();
    void stepsThroughOccurrences();
    void noOverlapsAndInsideWords();
    void emptyTextAndEmptyString();
    void selectionIsSkipped();
    void historyComparesTheFirstItemOnly();
    void dialogStates();
    void newStringThenCancelThenFindAgain();
    void enterAndEscapeInTheDialog();
    void checkBoxesAreHonoured();
    void positionsBeyondSixteenBits();

private:
    frm_search &find(frm_Quillpad &frm)
    {
        frm.action(QStringLiteral("findit"))->trigger();
        return *Module1::searchDialog();
    }
    void findAgain(frm_Quillpad &frm) { frm.action(QStringLiteral("find_again"))->trigger(); }
    QStringList items(frm_search &dlg)
    {
        QStringList list;
        for (int i = 0; i < dlg.cbo_search()->count(); ++i)
            list << dlg.cbo_search()->itemText(i);
        return list;
    }
};

void tst_Search::layout()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    frm_search &dlg = find(frm);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Search For..."));
    QVERIFY(!dlg.isModal());
    QVERIFY(dlg.isWindow());
    QCOMPARE(dlg.parentWidget(), nullptr);
    QCOMPARE(dlg.size(), Twips::toPixels(4680, 2175));
    QVERIFY(!(dlg.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    // The active border's colour, which X11 has not got: its classic grey.
    QCOMPARE(dlg.palette().color(QPalette::Window), QColor(192, 192, 192));
    QVERIFY(dlg.autoFillBackground());
    QCOMPARE(dlg.findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("String:"));
    QCOMPARE(dlg.cbo_search()->geometry(), Twips::rect(960, 240, 3495, 315));
    QVERIFY(dlg.cbo_search()->isEditable());
    QCOMPARE(dlg.cbo_search()->insertPolicy(), QComboBox::NoInsert);
    QCOMPARE(dlg.cbo_search()->count(), 0);
    QCOMPARE(dlg.chk_ignore_case()->text(), QStringLiteral("Ignore Case"));
    QVERIFY(dlg.chk_ignore_case()->isChecked());
    QCOMPARE(dlg.chk_whole_word()->text(), QStringLiteral("Search for Whole Word"));
    QVERIFY(!dlg.chk_whole_word()->isChecked());
    QCOMPARE(dlg.b_cancel()->text(), QStringLiteral("Cancel"));
    QCOMPARE(dlg.b_cancel()->geometry(), Twips::rect(3120, 1560, 1335, 375));
    QCOMPARE(dlg.b_search_forward()->text(), QStringLiteral("Search"));
    QCOMPARE(dlg.b_search_forward()->geometry(), Twips::rect(240, 1560, 1335, 375));
    for (QPushButton *b : {dlg.b_cancel(), dlg.b_search_forward()})
        QVERIFY(!b->isDefault() && !b->autoDefault());
    // Tab order: combo box, the check boxes, Cancel, then Search.
    auto nextTabStop = [](QWidget *w) {
        QWidget *next = w->nextInFocusChain();
        while (next != w && (!(next->focusPolicy() & Qt::TabFocus) || w->isAncestorOf(next)))
            next = next->nextInFocusChain();
        return next;
    };
    QCOMPARE(nextTabStop(dlg.cbo_search()), dlg.chk_ignore_case());
    QCOMPARE(nextTabStop(dlg.chk_ignore_case()), dlg.chk_whole_word());
    QCOMPARE(nextTabStop(dlg.chk_whole_word()), dlg.b_cancel());
    QCOMPARE(nextTabStop(dlg.b_cancel()), dlg.b_search_forward());
}

void tst_Search::stepsThroughOccurrences()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setText(QStringLiteral("abc abc"));
    clip.setSelStart(0);
    frm_search &dlg = find(frm);
    dlg.cbo_search()->setEditText(QStringLiteral("ABC"));
    dlg.b_search_forward()->click();
    QCOMPARE(clip.SelStart(), 0);
    QCOMPARE(clip.SelLength(), 3);
    QVERIFY(!dlg.isVisible());

    findAgain(frm);
    QCOMPARE(clip.SelStart(), 4);
    QCOMPARE(clip.SelLength(), 3);
    QVERIFY(system.messages.shown.isEmpty());

    findAgain(frm);
    QCOMPARE(system.messages.shown.size(), 1);
    const fake::Message &m = system.messages.shown.first();
    QCOMPARE(m.text, QStringLiteral("Sorry, can't find 'ABC'."));
    QCOMPARE(m.title, QStringLiteral("Quillpad Search"));
    QCOMPARE(m.icon, sys::MessageIcon::Exclamation);
    QCOMPARE(clip.SelStart(), 7);
    QCOMPARE(clip.SelLength(), 0);
    QVERIFY(!dlg.isVisible()); // a failed search leaves the dialog as it was
}

void tst_Search::noOverlapsAndInsideWords()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setText(QStringLiteral("aaaa"));
    clip.setSelStart(0);
    find(frm).cbo_search()->setEditText(QStringLiteral("aa"));
    findAgain(frm);
    QCOMPARE(clip.SelStart(), 0);
    findAgain(frm);
    QCOMPARE(clip.SelStart(), 2);
    QCOMPARE(clip.SelLength(), 2);
    findAgain(frm);
    QCOMPARE(system.messages.shown.size(), 1);

    clip.setText(QStringLiteral("concatenate"));
    clip.setSelStart(0);
    Module1::searchDialog()->cbo_search()->setEditText(QStringLiteral("cat"));
    findAgain(frm);
    QCOMPARE(clip.SelStart(), 3);
    QCOMPARE(clip.SelText(), QStringLiteral("cat"));
}

void tst_Search::emptyTextAndEmptyString()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    support::clip().setText(QString());
    frm_search &dlg = find(frm);
    dlg.cbo_search()->setEditText(QStringLiteral("x"));
    dlg.b_search_forward()->click();
    QCOMPARE(system.messages.shown.last().text, QStringLiteral("Sorry, can't find 'x'."));
    QVERIFY(dlg.isVisible());

    support::clip().setText(QStringLiteral("text"));
    dlg.cbo_search()->setEditText(QString());
    dlg.b_search_forward()->click();
    QCOMPARE(system.messages.shown.last().text, QStringLiteral("Sorry, can't find ''."));
    QCOMPARE(dlg.cbo_search()->count(), 0); // failures add nothing
}

void tst_Search::selectionIsSkipped()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setText(QStringLiteral("cat cat cat"));
    clip.setSelStart(0);
    clip.setSelLength(6);
    find(frm).cbo_search()->setEditText(QStringLiteral("cat"));
    Module1::searchDialog()->search_it();
    QCOMPARE(clip.SelStart(), 8);
    QCOMPARE(clip.SelLength(), 3);
}

void tst_Search::historyComparesTheFirstItemOnly()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setText(QStringLiteral("x y x y x y x y"));
    frm_search &dlg = find(frm);
    for (const char *s : {"x", "y", "y", "x"}) {
        clip.setSelStart(0);
        dlg.cbo_search()->setEditText(QString::fromLatin1(s));
        dlg.search_it();
    }
    QCOMPARE(items(dlg), (QStringList{"x", "y", "y"}));
    dlg.cbo_search()->setEditText(QStringLiteral("X")); // compared exactly, case included
    dlg.search_it();
    QCOMPARE(items(dlg), (QStringList{"x", "y", "y", "X"}));
    dlg.cbo_search()->setEditText(QStringLiteral("zzz"));
    dlg.search_it();
    QCOMPARE(items(dlg).size(), 4);
    QVERIFY(system.messages.shown.size() == 1);
}

void tst_Search::dialogStates()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    support::clip().setText(QStringLiteral("find me"));
    frm_search &dlg = find(frm);
    dlg.cbo_search()->setEditText(QStringLiteral("me"));
    dlg.search_it();
    dlg.chk_ignore_case()->setChecked(false);
    dlg.chk_whole_word()->setChecked(true);
    dlg.cbo_search()->setEditText(QStringLiteral("typed"));

    // Cancel hides; Find shows the same dialog with everything kept.
    find(frm);
    dlg.b_cancel()->click();
    QVERIFY(!dlg.isVisible());
    QCOMPARE(&find(frm), &dlg);
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.cbo_search()->currentText(), QStringLiteral("typed"));
    QCOMPARE(items(dlg), QStringList{"me"});
    QVERIFY(!dlg.chk_ignore_case()->isChecked());
    QVERIFY(dlg.chk_whole_word()->isChecked());

    // The close box unloads it; the next Find starts afresh.
    QPointer<frm_search> old = &dlg;
    dlg.close();
    QVERIFY(!Module1::searchDialog());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!old);
    frm_search &fresh = find(frm);
    QVERIFY(fresh.isVisible());
    QCOMPARE(fresh.cbo_search()->currentText(), QString());
    QCOMPARE(fresh.cbo_search()->count(), 0);
    QVERIFY(fresh.chk_ignore_case()->isChecked());
    QVERIFY(!fresh.chk_whole_word()->isChecked());

    // Find Again on a dialog that is not loaded loads it hidden.
    fresh.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    findAgain(frm);
    QVERIFY(Module1::searchDialog());
    QVERIFY(!Module1::searchDialog()->isVisible());
}

void tst_Search::newStringThenCancelThenFindAgain()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setText(QStringLiteral("old new"));
    frm_search &dlg = find(frm);
    dlg.cbo_search()->setEditText(QStringLiteral("old"));
    dlg.search_it();
    find(frm);
    dlg.cbo_search()->setEditText(QStringLiteral("new"));
    dlg.b_cancel()->click();
    clip.setSelStart(0);
    findAgain(frm);
    QCOMPARE(clip.SelStart(), 4);
    QCOMPARE(clip.SelText(), QStringLiteral("new"));
}

void tst_Search::enterAndEscapeInTheDialog()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setText(QStringLiteral("one two two"));
    clip.setSelStart(0);
    frm_search &dlg = find(frm);
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    dlg.cbo_search()->setFocus();
    // Keys go where the window system sends them: to the focus widget.
    QWidget *edit = QApplication::focusWidget();
    QVERIFY(edit == dlg.cbo_search() || edit == dlg.cbo_search()->lineEdit());
    QTest::keyClicks(edit, QStringLiteral("two"));

    QTest::keyClick(edit, Qt::Key_Escape);
    QVERIFY(dlg.isVisible()); // Escape does nothing

    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(clip.SelStart(), 4);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(items(dlg), QStringList{"two"}); // added once, by the search only

    find(frm);
    QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(clip.SelStart(), 8);
    QCOMPARE(items(dlg), QStringList{"two"});
    QCOMPARE(dlg.cbo_search()->currentText(), QStringLiteral("two"));
    // Straight to the line edit, as an input method would: one search, no more.
    find(frm);
    clip.setSelStart(0);
    QTest::keyClick(dlg.cbo_search()->lineEdit(), Qt::Key_Return);
    QCOMPARE(clip.SelStart(), 4);
    QCOMPARE(items(dlg), QStringList{"two"});

    // With the focus on a button, Enter presses that button, as Space does.
    find(frm);
    dlg.b_cancel()->setFocus();
    QTest::keyClick(dlg.b_cancel(), Qt::Key_Return);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(system.messages.shown.size(), 0);
}

void tst_Search::checkBoxesAreHonoured()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setText(QStringLiteral("Word words sword word_x word"));
    frm_search &dlg = find(frm);
    dlg.cbo_search()->setEditText(QStringLiteral("word"));

    clip.setSelStart(0);
    dlg.search_it(); // at load: any case, inside words
    QCOMPARE(clip.SelStart(), 0);

    dlg.chk_ignore_case()->setChecked(false);
    clip.setSelStart(0);
    dlg.search_it();
    QCOMPARE(clip.SelStart(), 5);

    dlg.chk_whole_word()->setChecked(true);
    clip.setSelStart(0);
    dlg.search_it();
    QCOMPARE(clip.SelStart(), 24);

    dlg.chk_ignore_case()->setChecked(true);
    clip.setSelStart(0);
    dlg.search_it();
    QCOMPARE(clip.SelStart(), 0);
    dlg.search_it();
    QCOMPARE(clip.SelStart(), 24);
}

void tst_Search::positionsBeyondSixteenBits()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setText(QString(70000, u'.') + QStringLiteral("needle") + QString(10, u'.') + QStringLiteral("needle"));
    clip.setSelStart(0);
    find(frm).cbo_search()->setEditText(QStringLiteral("needle"));
    findAgain(frm);
    QCOMPARE(clip.SelStart(), 70000);
    findAgain(frm);
    QCOMPARE(clip.SelStart(), 70016);
    QVERIFY(system.messages.shown.isEmpty());
}

QTEST_MAIN(tst_Search)
#include "tst_search.moc"
