// Get New Clip Text, Copy and Paste, and the menu's shortcuts.

#include "system/QtClipboard.h"
#include "search/frm_search.h"
#include "support/Fakes.h"
#include "support/TestSupport.h"

#include <QAction>

class tst_Clipboard : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { support::endProgram(); }

    void getNewClipText();
    void copy();
    void paste();
    void failedPasteWarnsAndChangesNothing();
    void copyThenPasteIsIdentity();
    void shortcutsReachTheMenuFromTheTextArea();
    void realClipboardRoundTrip();
};

static const QString FullWarning = QStringLiteral("Sorry, the text box is full.  Max characters is 32766.");

void tst_Clipboard::getNewClipText()
{
    fake::System system;
    system.clipboard.text = QStringLiteral("first");
    frm_Quillpad &frm = support::start();
    const QString caption = frm.windowTitle();
    QTest::qWait(1100); // the caption's time must not be renewed

    system.clipboard.text = QStringLiteral("abc");
    frm.action(QStringLiteral("Get_New_clip"))->trigger();
    QCOMPARE(support::clip().Text(), QStringLiteral("abc"));
    QCOMPARE(frm.windowTitle(), caption);
    QCOMPARE(Module1::applicationTitle(), caption);

    system.clipboard.text.clear();
    frm.action(QStringLiteral("Get_New_clip"))->trigger();
    QCOMPARE(support::clip().Text(), QString());

    support::clip().setText(QStringLiteral("kept"));
    system.clipboard.failRead = true;
    frm.action(QStringLiteral("Get_New_clip"))->trigger();
    QCOMPARE(support::clip().Text(), QStringLiteral("kept"));
    QCOMPARE(system.messages.shown.size(), 1);
    QCOMPARE(system.messages.shown.first().title, caption);
    QVERIFY(system.messages.shown.first().text.contains(QStringLiteral("another program")));

    // A text that needs more memory than is left: said, and the note kept.
    system.clipboard.failRead = false;
    system.clipboard.text = QString(64 << 20, u'x');
    {
        support::AddressSpaceLimit limit(64 << 20);
        QVERIFY(limit.active());
        frm.action(QStringLiteral("Get_New_clip"))->trigger();
    }
    system.clipboard.text.clear();
    QCOMPARE(support::clip().Text(), QStringLiteral("kept"));
    QCOMPARE(system.messages.shown.size(), 2);
    QCOMPARE(system.messages.shown.last().text, sys::Clipboard::tooLargeMessage());
}

void tst_Clipboard::copy()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setText(QStringLiteral("one\r\ntwo\u00A0three"));
    clip.setSelStart(2);
    clip.setSelLength(6);
    frm.action(QStringLiteral("copy_to_clip"))->trigger();
    QCOMPARE(system.clipboard.text, QStringLiteral("e\ntwo\u00A0"));
    QCOMPARE(system.clipboard.clearCalls, 0); // only set, never cleared first
    QCOMPARE(clip.Text(), QStringLiteral("one\ntwo\u00A0three"));

    clip.setSelStart(3);
    frm.action(QStringLiteral("copy_to_clip"))->trigger();
    QCOMPARE(system.clipboard.text, QString()); // nothing selected: the empty text

    system.clipboard.text = QStringLiteral("before");
    system.clipboard.failSet = true;
    clip.selectAll();
    frm.action(QStringLiteral("copy_to_clip"))->trigger();
    QCOMPARE(system.clipboard.text, QStringLiteral("before"));
    QCOMPARE(system.messages.shown.size(), 1);
    QCOMPARE(system.messages.shown.first().title, Module1::applicationTitle());
}

void tst_Clipboard::paste()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setText(QStringLiteral("hello world"));

    // Without a selection: inserted at the caret.
    system.clipboard.text = QStringLiteral("big\n");
    clip.setSelStart(6);
    frm.action(QStringLiteral("paste_from_clip"))->trigger();
    QCOMPARE(clip.Text(), QStringLiteral("hello big\nworld"));
    QCOMPARE(clip.SelStart(), 10);

    // With a selection and an empty clipboard: the selection goes.
    system.clipboard.text.clear();
    clip.setSelStart(0);
    clip.setSelLength(6);
    frm.action(QStringLiteral("paste_from_clip"))->trigger();
    QCOMPARE(clip.Text(), QStringLiteral("big\nworld"));

    // A selection is replaced.
    system.clipboard.text = QStringLiteral("small");
    clip.setSelStart(0);
    clip.setSelLength(3);
    frm.action(QStringLiteral("paste_from_clip"))->trigger();
    QCOMPARE(clip.Text(), QStringLiteral("small\nworld"));
    QVERIFY(system.messages.shown.isEmpty());
}

void tst_Clipboard::failedPasteWarnsAndChangesNothing()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setText(QStringLiteral("abcdef"));
    clip.setSelStart(1);
    clip.setSelLength(2);

    system.clipboard.failRead = true;
    frm.action(QStringLiteral("paste_from_clip"))->trigger();
    system.clipboard.failRead = false;
    clip.setMaxCharacters(10);
    system.clipboard.text = QString(7, u'x'); // 6 - 2 + 7: past the capacity
    frm.action(QStringLiteral("paste_from_clip"))->trigger();

    QCOMPARE(system.messages.shown.size(), 2);
    // A clipboard that cannot be read is said as such: the holder did not answer.
    QCOMPARE(system.messages.shown.at(0).text, QStringLiteral("clipboard held by another program"));
    QCOMPARE(system.messages.shown.at(0).title, Module1::applicationTitle());
    // Past the capacity, the fixed warning.
    const fake::Message &m = system.messages.shown.at(1);
    QCOMPARE(m.text, FullWarning);
    QCOMPARE(m.title, QStringLiteral("Quillpad Warning!"));
    QCOMPARE(m.icon, sys::MessageIcon::Exclamation);
    QCOMPARE(clip.Text(), QStringLiteral("abcdef"));
    QCOMPARE(clip.SelText(), QStringLiteral("bc"));
    QVERIFY(frm.isVisible()); // and the program goes on
}

void tst_Clipboard::copyThenPasteIsIdentity()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setText(QStringLiteral("alpha\nbeta\u00A0gamma\r\ndelta"));
    clip.setSelStart(3);
    clip.setSelLength(12);
    frm.action(QStringLiteral("copy_to_clip"))->trigger();
    frm.action(QStringLiteral("paste_from_clip"))->trigger();
    QCOMPARE(clip.Text(), QStringLiteral("alpha\nbeta\u00A0gamma\ndelta"));
}

void tst_Clipboard::shortcutsReachTheMenuFromTheTextArea()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    frm.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&frm));
    ClipText &clip = support::clip();
    clip.setFocus();
    clip.setText(QStringLiteral("copy me"));
    clip.setSelStart(5);
    clip.setSelLength(2);

    QTest::keyClick(&clip, Qt::Key_Insert, Qt::ControlModifier);
    QCOMPARE(system.clipboard.setCalls, 1);
    QCOMPARE(system.clipboard.text, QStringLiteral("me"));

    system.clipboard.text = QStringLiteral("you");
    QTest::keyClick(&clip, Qt::Key_Insert, Qt::ShiftModifier);
    QCOMPARE(clip.Text(), QStringLiteral("copy you"));

    // Ctrl+G before any Find loads the dialog hidden and finds nothing.
    QTest::keyClick(&clip, Qt::Key_G, Qt::ControlModifier);
    QVERIFY(Module1::searchDialog());
    QVERIFY(!Module1::searchDialog()->isVisible());
    QCOMPARE(system.messages.shown.size(), 1);
    QCOMPARE(system.messages.shown.first().text, QStringLiteral("Sorry, can't find ''."));

    QTest::keyClick(&clip, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(Module1::searchDialog()->isVisible());
}

void tst_Clipboard::realClipboardRoundTrip()
{
    sys::QtClipboard real;
    QString error;
    QVERIFY(real.setText(QStringLiteral("line one\nline\u00A0two"), &error));
    QString text;
    QVERIFY(real.readText(&text, &error));
    QCOMPARE(text, QStringLiteral("line one\nline\u00A0two"));
    QVERIFY(real.clear(&error));
    QVERIFY(real.readText(&text, &error));
    QCOMPARE(text, QString());
}

QTEST_MAIN(tst_Clipboard)
#include "tst_clipboard.moc"
