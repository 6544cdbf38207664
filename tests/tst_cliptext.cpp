// The text area's operations: whole text, selection, colours, Find.

#include "app/ClipText.h"

#include <QMimeData>
#include <QTest>

class tst_ClipText : public QObject
{
    Q_OBJECT

private slots:
    void textReadsBackExactly();
    void selectionOperations();
    void selTextWriteHonoursCapacity();
    void findForwardCaseInsensitive();
    void findOptionsAndLongTexts();
    void colours();
    void ownPastePathsArePlainText();
};

void tst_ClipText::textReadsBackExactly()
{
    ClipText clip;
    const QString nbsp = QString::fromUtf8("a\u00A0b\tc\u2028d");
    clip.setText(nbsp);
    QCOMPARE(clip.Text(), nbsp);

    clip.setText(QStringLiteral("one\r\ntwo\rthree\nfour\n"));
    QCOMPARE(clip.Text(), QStringLiteral("one\ntwo\nthree\nfour\n"));
    QCOMPARE(clip.length(), 19);

    clip.setText(QString());
    QCOMPARE(clip.Text(), QString());
    QCOMPARE(clip.length(), 0);

    // Writing the text replaces all of it.
    clip.setText(QStringLiteral("old text"));
    clip.setText(QStringLiteral("new"));
    QCOMPARE(clip.Text(), QStringLiteral("new"));
}

void tst_ClipText::selectionOperations()
{
    ClipText clip;
    clip.setText(QStringLiteral("line one\nline\u00A0two"));
    clip.setSelStart(5);
    clip.setSelLength(8);
    QCOMPARE(clip.SelStart(), 5);
    QCOMPARE(clip.SelLength(), 8);
    QCOMPARE(clip.SelText(), QString::fromUtf8("one\nline"));

    // Writing SelStart leaves nothing selected.
    clip.setSelStart(2);
    QCOMPARE(clip.SelStart(), 2);
    QCOMPARE(clip.SelLength(), 0);
    QCOMPARE(clip.SelText(), QString());

    clip.setSelStart(9);
    clip.setSelLength(100); // no further than the end
    QCOMPARE(clip.SelText(), QString::fromUtf8("line\u00A0two"));

    clip.setSelStart(0);
    clip.setSelLength(4);
    QVERIFY(clip.setSelText(QStringLiteral("LINE\nX")));
    QCOMPARE(clip.Text(), QStringLiteral("LINE\nX one\nline\u00A0two"));
    QCOMPARE(clip.SelLength(), 0);
    QCOMPARE(clip.SelStart(), 6);
    QVERIFY(clip.setSelText(QString())); // nothing selected: nothing changes
    QCOMPARE(clip.Text(), QStringLiteral("LINE\nX one\nline\u00A0two"));
}

void tst_ClipText::selTextWriteHonoursCapacity()
{
    ClipText clip;
    QCOMPARE(clip.maxCharacters(), ClipText::MaxCharacters);
    QVERIFY(ClipText::MaxCharacters > 50 * 1024 * 1024); // a large file still takes a paste
    clip.setMaxCharacters(100);
    clip.setText(QString(150, u'a')); // whole loads are not held to it
    QCOMPARE(clip.length(), 150);
    clip.setText(QStringLiteral("abc"));
    clip.setSelStart(1);
    clip.setSelLength(1);
    QVERIFY(!clip.setSelText(QString(99, u'x'))); // 3 - 1 + 99 > 100
    QCOMPARE(clip.Text(), QStringLiteral("abc"));
    QCOMPARE(clip.SelText(), QStringLiteral("b"));
    QVERIFY(clip.setSelText(QString(98, u'x')));
    QCOMPARE(clip.length(), 100);
}

void tst_ClipText::findForwardCaseInsensitive()
{
    ClipText clip;
    clip.setText(QStringLiteral("abc abc"));
    QCOMPARE(clip.Find(QStringLiteral("ABC"), 0), 0);
    QCOMPARE(clip.SelStart(), 0);
    QCOMPARE(clip.SelLength(), 3);
    QCOMPARE(clip.Find(QStringLiteral("abc"), 1), 4); // no wrap, starts at the position
    QCOMPARE(clip.Find(QStringLiteral("abc"), 4), 4);
    clip.setSelStart(2);
    QCOMPARE(clip.Find(QStringLiteral("abc"), 5), -1);
    QCOMPARE(clip.SelStart(), 2); // a miss leaves the selection alone
    QCOMPARE(clip.Find(QStringLiteral("c"), 7), -1); // from the very end
    QCOMPARE(clip.Find(QString(), 0), -1);

    clip.setText(QStringLiteral("concatenate"));
    QCOMPARE(clip.Find(QStringLiteral("cat"), 0), 3);

    // Across a line break, and with no-break spaces matched as themselves.
    clip.setText(QStringLiteral("ab\ncd\u00A0e"));
    QCOMPARE(clip.Find(QStringLiteral("b\nc"), 0), 1);
    QCOMPARE(clip.SelText(), QStringLiteral("b\nc"));
    QCOMPARE(clip.Find(QStringLiteral("d e"), 0), -1);
    QCOMPARE(clip.Find(QStringLiteral("d\u00A0e"), 0), 4);

    ClipText empty;
    QCOMPARE(empty.Find(QStringLiteral("a"), 0), -1);
}

void tst_ClipText::findOptionsAndLongTexts()
{
    ClipText clip;
    clip.setText(QStringLiteral("Cat cat_x cat2 (cat) scatter"));
    const ClipText::FindOptions exact{true, false};
    QCOMPARE(clip.Find(QStringLiteral("cat"), 0, exact), 4);
    QCOMPARE(clip.Find(QStringLiteral("CAT"), 0, exact), -1);
    const ClipText::FindOptions whole{false, true};
    QCOMPARE(clip.Find(QStringLiteral("cat"), 0, whole), 0);
    QCOMPARE(clip.Find(QStringLiteral("cat"), 1, whole), 16);
    QCOMPARE(clip.Find(QStringLiteral("cat"), 17, whole), -1);
    // Words as Ctrl+Right finds them: one with an apostrophe, a Thai one
    // among others written without blanks.
    clip.setText(QStringLiteral("don't do \u0E20\u0E32\u0E29\u0E32\u0E44\u0E17\u0E22"));
    QCOMPARE(clip.Find(QStringLiteral("don"), 0, whole), -1);
    QCOMPARE(clip.Find(QStringLiteral("do"), 0, whole), 6);
    QCOMPARE(clip.Find(QStringLiteral("\u0E44\u0E17\u0E22"), 0, whole), 13);
    QCOMPARE(clip.Find(QStringLiteral("\u0E29\u0E32\u0E44"), 0, whole), -1);

    // Positions beyond any 16-bit range, and a match straddling the search's
    // internal slices.
    QString big(3 * 1024 * 1024 + 17, u'a');
    big.replace(1024 * 1024 - 2, 5, QStringLiteral("XneedleX").left(5));
    big.append(QStringLiteral("\nthe end"));
    clip.setText(big);
    QCOMPARE(clip.Find(QStringLiteral("XneedX"), 0), -1);
    QCOMPARE(clip.Find(QStringLiteral("Xneed"), 0), 1024 * 1024 - 2);
    QCOMPARE(clip.Find(QStringLiteral("END"), 40000), int(big.size()) - 3);
    QCOMPARE(clip.SelStart(), int(big.size()) - 3);

    // Wherever an occurrence lies, it is found once, whole: the search reads
    // growing slices, and these positions straddle the first ones.
    for (const int at : {4094, 4095, 12286, 28670, 61438, 100000}) {
        QString text(140000, u'.');
        text.replace(at, 6, QStringLiteral("needle"));
        clip.setText(text);
        QCOMPARE(clip.Find(QStringLiteral("needle"), 0), at);
        QCOMPARE(clip.Find(QStringLiteral("needle"), at + 1), -1);
    }
}

void tst_ClipText::colours()
{
    ClipText clip;
    QCOMPARE(clip.BackColor(), QColor(255, 255, 0));
    QCOMPARE(clip.ForeColor(), QColor(0, 0, 0));
    clip.setText(QStringLiteral("abc"));
    clip.setSelStart(1);
    clip.setSelLength(1);
    clip.setSelColor(Qt::blue);
    QCOMPARE(clip.colorAt(1), QColor(Qt::blue));
    QCOMPARE(clip.colorAt(0), QColor(0, 0, 0));
    QCOMPARE(clip.colorAt(2), QColor(0, 0, 0));
    // The colour goes with its characters as text comes and goes around them.
    clip.setSelStart(0);
    QVERIFY(clip.setSelText(QStringLiteral("xy")));
    QCOMPARE(clip.colorAt(3), QColor(Qt::blue));
    QCOMPARE(clip.colorAt(2), QColor(0, 0, 0));
    // Colours are no edits: undo takes back the typing, not the colour.
    QVERIFY(clip.document().isUndoAvailable());
    clip.setTextColorOfAll(QColor(255, 255, 0));
    QCOMPARE(clip.colorAt(3), QColor(255, 255, 0));
    clip.undo();
    QCOMPARE(clip.Text(), QStringLiteral("abc"));
    QCOMPARE(clip.colorAt(1), QColor(255, 255, 0));
    QVERIFY(!clip.document().isUndoAvailable());
    clip.setBackColor(Qt::black);
    QCOMPARE(clip.BackColor(), QColor(Qt::black));
}

void tst_ClipText::ownPastePathsArePlainText()
{
    // insertFromMimeData is what Ctrl+V, the context menu and drops all use.
    struct Clip : ClipText
    {
        using ClipText::canInsertFromMimeData;
        using ClipText::createMimeDataFromSelection;
        using ClipText::insertFromMimeData;
    } clip;
    QMimeData rich;
    rich.setHtml(QStringLiteral("<span style='color:#ff0000'>markup</span>"));
    QVERIFY(!clip.canInsertFromMimeData(&rich)); // no plain text in it
    rich.setText(QStringLiteral("plain"));
    QVERIFY(clip.canInsertFromMimeData(&rich));
    clip.setText(QStringLiteral("[]"));
    clip.setSelStart(1);
    clip.insertFromMimeData(&rich);
    QCOMPARE(clip.Text(), QStringLiteral("[plain]"));
    QCOMPARE(clip.colorAt(3), clip.ForeColor());

    clip.setText(QStringLiteral("a\u00A0b\nc"));
    clip.selectAll();
    std::unique_ptr<QMimeData> copied(clip.createMimeDataFromSelection());
    QCOMPARE(copied->text(), QStringLiteral("a\u00A0b\nc"));
    QVERIFY(!copied->hasHtml());
}

QTEST_MAIN(tst_ClipText)
#include "tst_cliptext.moc"
