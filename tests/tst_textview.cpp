// The text view on a real widget: keys, mouse, long lines, input methods,
// screen readers and what it does at rest.

#include "text/TextBoundaries.h"
#include "text/TextView.h"

#include <QAccessible>
#include <QAccessibleTextInterface>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QRandomGenerator>
#include <QStyleHints>
#include <QTest>

namespace {

struct View : TextView
{
    View()
    {
        setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        resize(300, 200);
        show();
        QApplication::setActiveWindow(this);
        setFocus();
    }
    void key(int code, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyClick(this, Qt::Key(code), mods);
    }
    // A key that types text, as a keyboard with that character sends it.
    void type(const QString &text)
    {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
        QApplication::sendEvent(this, &press);
    }
    // The middle of the character at position, in the viewport.
    QPoint at(int position) { return characterRect(position).center(); }
    int paints = 0;
    QRegion painted;
};

QString manyLines(int count)
{
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << QStringLiteral("line %1").arg(i);
    return lines.join(u'\n');
}

} // namespace

class tst_TextView : public QObject
{
    Q_OBJECT

private slots:
    void typingAndDeletingByWholeCharacters();
    void movingAndSelectingWithKeys();
    void undoRedoAndTheClipboard();
    void mouseClicksDragsAndWheel();
    void scrollingReachesBothEndsWithoutJumps();
    void longLineIsLaidOutInPieces();
    void rowsAreAsTallAsTheFontsThatDrawThem();
    void piecesEndOnWholeCharacters();
    void placesFromPointsAreCaretStops();
    void restingRepaintsOnlyTheCaret();
    void inputMethod();
    void screenReaderInterface();
    void dropAndReservedKeys();
    void keysClaimedAreKeysHandled();
    void wordAtTheEndOfALineIsWhole();
    void preeditEndsWhenTheTextChangesUnderIt();
    void overCapacityTheTextMayStillShrink();
    void randomActions();
};

void tst_TextView::typingAndDeletingByWholeCharacters()
{
    View v;
    QTest::keyClicks(&v, QStringLiteral("ab"));
    v.key(Qt::Key_Return);
    v.key(Qt::Key_Tab);
    QCOMPARE(v.toPlainText(), QStringLiteral("ab\n\t"));
    QCOMPARE(v.document().store().lineBreak(0), LineBreak::LF);
    v.document().setNewLineBreak(LineBreak::CRLF); // a break typed takes the text's own kind
    v.key(Qt::Key_Enter);
    QCOMPARE(v.document().store().lineBreak(1), LineBreak::CRLF);

    // A surrogate pair, a letter with two marks, a CRLF: each goes as one.
    v.setPlainText(QString::fromUtf8("x😀e\u0301\u0308\r\ny"));
    v.setPosition(v.length() - 1);
    v.key(Qt::Key_Backspace);
    QCOMPARE(v.toPlainText(), QString::fromUtf8("x😀e\u0301\u0308y"));
    v.key(Qt::Key_Backspace);
    QCOMPARE(v.toPlainText(), QString::fromUtf8("x😀y"));
    v.key(Qt::Key_Left);
    QCOMPARE(v.position(), 1);
    v.key(Qt::Key_Delete);
    QCOMPARE(v.toPlainText(), QStringLiteral("xy"));
    v.setPlainText(u"one two three");
    v.setPosition(13);
    v.key(Qt::Key_Backspace, Qt::ControlModifier);
    QCOMPARE(v.toPlainText(), QStringLiteral("one two "));

    // Over capacity, a key types nothing.
    v.setMaxLength(8);
    QTest::keyClicks(&v, QStringLiteral("z"));
    QCOMPARE(v.toPlainText(), QStringLiteral("one two "));
}

void tst_TextView::movingAndSelectingWithKeys()
{
    View v;
    v.setPlainText(u"alpha beta\ngamma");
    v.key(Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(v.position(), 16);
    v.key(Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(v.position(), 0);
    v.key(Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(v.position(), 6);
    v.key(Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(v.selectedText(), QStringLiteral("beta"));
    v.key(Qt::Key_Left); // collapses to the start
    QCOMPARE(v.position(), 6);
    QVERIFY(!v.hasSelection());
    v.key(Qt::Key_Down); // keeps the column
    QCOMPARE(v.position(), 16);
    v.key(Qt::Key_Up);
    QCOMPARE(v.position(), 6);
    v.key(Qt::Key_End);
    QCOMPARE(v.position(), 10);
    v.key(Qt::Key_Home, Qt::ShiftModifier);
    QCOMPARE(v.selectedText(), QStringLiteral("alpha beta"));
    v.key(Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(v.selectedText(), v.toPlainText());

    // Home and End stay on the row of a wrapped line.
    v.setPlainText(QString(2000, u'w'));
    v.setPosition(0);
    v.key(Qt::Key_Down);
    const int secondRow = v.position();
    QVERIFY(secondRow > 10 && secondRow < 200);
    v.key(Qt::Key_End);
    QCOMPARE(v.position(), 2 * secondRow - 1); // just before the next row starts
    v.key(Qt::Key_Home);
    QCOMPARE(v.position(), secondRow);

    // Page Down moves the caret and the view by a page.
    v.setPlainText(manyLines(500));
    v.setPosition(0);
    v.key(Qt::Key_PageDown);
    const int line = v.document().store().lineOf(v.position());
    QCOMPARE(line, (v.viewport()->height() - TextViewport::TopMargin) / v.rowHeight() - 1); // rows of one font
    QVERIFY(v.topPosition() > 0);
    v.key(Qt::Key_PageUp);
    QCOMPARE(v.position(), 0);
    QCOMPARE(v.topPosition(), 0);

    // Left and Right go the way the arrows point: through a line that reads
    // from right to left, and one that mixes directions, Right walks every
    // caret stop once from the left end to the right end, and Left back;
    // Home and End keep to the line's own start and end.
    const QString lines[] = {QStringLiteral("\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD"),
                             QStringLiteral("ab \u05D0\u05D1\u05D2 12 \u05D3\u05D4 cd")};
    for (const QString &text : lines) {
        v.setPlainText(text);
        const bool rtl = text.isRightToLeft();
        v.setPosition(rtl ? text.size() : 0); // the left end
        QSet<int> visited{v.position()};
        qreal x = v.layouts().xOf(v.position());
        for (int i = 0; i < text.size(); ++i) {
            v.key(Qt::Key_Right);
            QVERIFY2(!visited.contains(v.position()), qPrintable(text + QStringLiteral(" again at %1").arg(v.position())));
            visited.insert(v.position());
            // Where directions meet, one place has two x's; elsewhere x grows.
            QVERIFY(!rtl || v.layouts().xOf(v.position()) > x);
            x = v.layouts().xOf(v.position());
        }
        QCOMPARE(v.position(), rtl ? 0 : text.size());
        for (int i = 0; i < text.size(); ++i)
            v.key(Qt::Key_Left);
        QCOMPARE(v.position(), rtl ? text.size() : 0);
        v.key(Qt::Key_Home);
        QCOMPARE(v.position(), 0);
        v.key(Qt::Key_End);
        QCOMPARE(v.position(), text.size());
        // A selection collapses to its end on the side the arrow points to.
        v.setSelection(2, 5);
        v.key(Qt::Key_Left);
        QCOMPARE(v.position(), rtl ? 5 : 2);
    }
}

void tst_TextView::undoRedoAndTheClipboard()
{
    View v;
    QTest::keyClicks(&v, QStringLiteral("hello world"));
    v.key(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(v.toPlainText(), QStringLiteral("hello "));
    v.key(Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(v.toPlainText(), QStringLiteral("hello world"));
    v.key(Qt::Key_Z, Qt::ControlModifier);
    v.key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(v.toPlainText(), QStringLiteral("hello world"));
    QCOMPARE(v.position(), 11);

    v.setSelection(0, 5);
    v.key(Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("hello"));
    v.key(Qt::Key_Delete, Qt::ShiftModifier); // cut
    QCOMPARE(v.toPlainText(), QStringLiteral(" world"));
    v.key(Qt::Key_End);
    v.key(Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(v.toPlainText(), QStringLiteral(" worldhello"));
    v.setSelection(0, 6);
    v.key(Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(v.toPlainText(), QStringLiteral("hello"));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral(" world"));

    // The right-click menu offers the same, enabled as they apply.
    std::unique_ptr<QMenu> menu(v.createStandardContextMenu());
    QStringList enabled;
    for (QAction *action : menu->actions()) {
        if (!action->isSeparator() && action->isEnabled())
            enabled << action->text();
    }
    QCOMPARE(enabled, (QStringList{"&Undo", "&Paste", "Select All"}));

    // What an input method commits is undone a commit at a time: words of a
    // script without blanks, letters made with dead keys; typing before and
    // after keeps its own stretches.
    v.setPlainText(QString());
    QTest::keyClicks(&v, QStringLiteral("ab"));
    for (const QString &word : {QStringLiteral("\u4F60\u597D"), QStringLiteral("\u6211"), QStringLiteral("\u7231"),
                                QStringLiteral("\u00E9"), QStringLiteral("\u00F3")}) {
        QInputMethodEvent commit;
        commit.setCommitString(word);
        QApplication::sendEvent(&v, &commit);
    }
    QTest::keyClicks(&v, QStringLiteral("cd"));
    const QString undone[] = {QStringLiteral("ab\u4F60\u597D\u6211\u7231\u00E9\u00F3"),
                              QStringLiteral("ab\u4F60\u597D\u6211\u7231\u00E9"),
                              QStringLiteral("ab\u4F60\u597D\u6211\u7231"), QStringLiteral("ab\u4F60\u597D\u6211"),
                              QStringLiteral("ab\u4F60\u597D"), QStringLiteral("ab")};
    for (const QString &left : undone) {
        v.key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(v.toPlainText(), left);
    }
}

void tst_TextView::mouseClicksDragsAndWheel()
{
    View v;
    v.setPlainText(u"first word\nsecond line here");
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, v.at(3));
    QCOMPARE(v.position(), 3);
    QTest::mouseClick(v.viewport(), Qt::LeftButton, Qt::ShiftModifier, v.at(13));
    QCOMPARE(v.selectedText(), QStringLiteral("st word\nse"));

    QTest::mouseDClick(v.viewport(), Qt::LeftButton, {}, v.at(7));
    QCOMPARE(v.selectedText(), QStringLiteral("word"));
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, v.at(7)); // the third click
    QCOMPARE(v.selectedText(), QStringLiteral("first word\n"));

    QTest::mousePress(v.viewport(), Qt::LeftButton, {}, v.at(1));
    QMouseEvent move(QEvent::MouseMove, v.at(14), v.viewport()->mapToGlobal(v.at(14)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(v.viewport(), &move);
    QTest::mouseRelease(v.viewport(), Qt::LeftButton, {}, v.at(14));
    QCOMPARE(v.selectedText(), QStringLiteral("irst word\nsec"));

    v.setPlainText(manyLines(1000));
    QWheelEvent wheel(QPointF(50, 50), v.viewport()->mapToGlobal(QPointF(50, 50)), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(v.viewport(), &wheel);
    QCOMPARE(v.topPosition(), v.document().store().lineStart(QApplication::wheelScrollLines()));
}

void tst_TextView::scrollingReachesBothEndsWithoutJumps()
{
    View v;
    // Lines of every length, so that estimated heights are off.
    QString text;
    for (int i = 0; i < 3000; ++i)
        text += QString(i * 37 % 700, u'x') + u'\n';
    text += QStringLiteral("the very end");
    v.setPlainText(text);
    QScrollBar *bar = v.verticalScrollBar();
    bar->setValue(bar->maximum());
    // The last row sits at the bottom of the view.
    const int last = v.length() - 1;
    const QRect lastRect = v.characterRect(last);
    QVERIFY(!lastRect.isNull());
    QVERIFY(lastRect.bottom() < v.viewport()->height());
    QVERIFY(lastRect.bottom() + v.rowHeight() >= v.viewport()->height() - 2);
    bar->setValue(0);
    QCOMPARE(v.topPosition(), 0);

    // Laying out lines above refines the scroll bar, never the text shown.
    bar->setValue(bar->maximum() / 2);
    const int top = v.topPosition();
    for (int line = 0; line < 200; line += 7)
        v.layouts().layout(line, 0);
    v.viewport()->repaint();
    QCOMPARE(v.topPosition(), top);
    v.verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QVERIFY(v.topPosition() > top);
}

void tst_TextView::longLineIsLaidOutInPieces()
{
    View v;
    QString line;
    while (line.size() < 1 << 20)
        line += QStringLiteral("word ");
    v.setPlainText(line);
    QVERIFY(v.layouts().pieceCount(0) > 100);
    v.key(Qt::Key_End, Qt::ControlModifier);
    v.viewport()->repaint();
    QTest::keyClicks(&v, QStringLiteral("xyz"));
    v.viewport()->repaint();
    QVERIFY(v.toPlainText().endsWith(QStringLiteral("word xyz")));
    // Only the pieces on screen are laid out.
    QVERIFY(v.layouts().laidOutPieces(0) <= 3);
    v.key(Qt::Key_Home, Qt::ControlModifier);
    v.viewport()->repaint();
    QCOMPARE(v.topPosition(), 0);
    QVERIFY(v.layouts().laidOutPieces(0) <= 6);
}

void tst_TextView::rowsAreAsTallAsTheFontsThatDrawThem()
{
    View v;
    v.setFont(QFont(QStringLiteral("Liberation Mono"), 10));
    const int standard = v.rowHeight();
    // Characters the note's font has no glyphs for, drawn by a taller one.
    QString tall;
    const QFontMetricsF metrics(v.font());
    for (const QString &candidate : {QStringLiteral("\u4F60\u597D"), QStringLiteral("\u222E\u2211")}) {
        QTextLayout probe(candidate, v.font());
        probe.beginLayout();
        const QTextLine line = probe.createLine();
        probe.endLayout();
        if (line.ascent() + line.descent() > metrics.ascent() + metrics.descent() + 1) {
            tall = candidate;
            break;
        }
    }
    if (tall.isEmpty())
        QSKIP("no font here draws these characters taller than the note's own");
    v.setPlainText(QStringLiteral("first line %1 here\nsecond line text\nthird").arg(tall));
    TextLayouts &layouts = v.layouts();
    const int tallHeight = layouts.heightOf(RowRef{0, 0, 0});
    const QTextLine drawn = layouts.layout(0, 0).lineAt(0);
    QVERIFY(drawn.y() + drawn.ascent() + drawn.descent() <= tallHeight + 0.01); // the glyphs stay in their row
    QCOMPARE(layouts.heightOf(RowRef{1, 0, 0}), standard); // rows of one font keep their height
    QCOMPARE(layouts.heightOf(RowRef{2, 0, 0}), standard);

    // On screen, each row below the one above it: the caret as tall as its
    // row, a click low in the tall row lands in it, the next row's box right under it.
    const int second = v.document().store().lineStart(1);
    QCOMPARE(v.characterRect(0).height(), tallHeight);
    QCOMPARE(v.characterRect(second).top(), v.characterRect(0).top() + tallHeight);
    QCOMPARE(v.document().store().lineOf(v.positionAt(QPoint(5, v.characterRect(0).bottom()))), 0);
    QCOMPARE(v.document().store().lineOf(v.positionAt(QPoint(5, v.characterRect(second).top() + 1))), 1);

    // Page Down keeps to rows that fit, and the last row still shows whole at the end.
    QStringList lines;
    for (int i = 0; i < 60; ++i)
        lines << (i % 3 == 0 ? QStringLiteral("%1 %2").arg(i).arg(tall) : QString::number(i));
    v.setPlainText(lines.join(u'\n'));
    v.key(Qt::Key_End, Qt::ControlModifier);
    const QRect last = v.characterRect(v.length());
    QVERIFY(last.bottom() < v.viewport()->height());
    QVERIFY(last.top() > v.viewport()->height() / 2);
}

void tst_TextView::piecesEndOnWholeCharacters()
{
    // Characters of many code units, across the place a long line is cut at.
    const QStringList atoms = {
        QStringLiteral("\u0915\U0001F600"), QStringLiteral("\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7"),
        QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467"), QStringLiteral("e\u0301\u0323\u0308"),
        QStringLiteral("\u0915\u094D\u0937"), QStringLiteral(" \u0301"), QStringLiteral("\u1100\u1161\u11A8"),
        QStringLiteral("a") + QString(100, QChar(0x0301)),
    };
    View v;
    for (const QString &atom : atoms) {
        for (int shift = -8; shift <= 8; ++shift) {
            const QString before(TextLayouts::PieceTarget + shift, u'x');
            v.setPlainText(before + atom + QString(600, u'x'));
            QCOMPARE(v.layouts().pieceCount(0), 2);
            const int cut = v.layouts().rowStart(RowRef{0, 1, 0});
            QVERIFY2(TextBoundaries::isCharacterStart(v.document().store(), cut),
                     qPrintable(QStringLiteral("cut at %1, %2 after the atom's start").arg(cut).arg(cut - before.size())));
        }
        // Typing at the start of the second piece keeps the character whole.
        v.setPosition(v.layouts().rowStart(RowRef{0, 1, 0}));
        v.type(QStringLiteral("Z"));
        QVERIFY(v.toPlainText().contains(atom));
    }
}

void tst_TextView::placesFromPointsAreCaretStops()
{
    // Conjuncts, jamo clusters and flags, wrapped in a narrow view so that
    // some come near a row's end.
    View v;
    v.resize(160, 300);
    v.setPlainText(QStringLiteral("\u0915\u094D\u0937\u093F \u0924\u094D\u0930 \u1100\u1161\u11A8\u1100\u1161 "
                                  "\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7\U0001F1EE\U0001F1F9 \u0E01\u0E33\u0E4D x\n")
                       .repeated(6));
    v.viewport()->repaint();
    const TextStore &store = v.document().store();
    for (int y = 1; y < v.viewport()->height(); y += v.rowHeight() / 2) {
        for (int x = 0; x < v.viewport()->width(); ++x) {
            const int position = v.positionAt(QPoint(x, y));
            QVERIFY2(TextBoundaries::isCharacterStart(store, position),
                     qPrintable(QStringLiteral("(%1, %2) gives %3").arg(x).arg(y).arg(position)));
        }
    }
    for (int start = 0; start < store.length(); start = TextBoundaries::nextCharacter(store, start)) {
        for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Up}) {
            v.setPosition(start);
            v.key(key);
            QVERIFY2(TextBoundaries::isCharacterStart(store, v.position()),
                     qPrintable(QStringLiteral("from %1 to %2").arg(start).arg(v.position())));
        }
    }
}

void tst_TextView::restingRepaintsOnlyTheCaret()
{
    View v;
    v.setPlainText(manyLines(200));
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    struct Watch : QObject
    {
        QList<QRect> rects;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                rects << static_cast<QPaintEvent *>(event)->rect();
            return false;
        }
    } watch;
    v.viewport()->installEventFilter(&watch);
    auto caretSized = [&v](const QRect &rect) { return rect.width() <= 8 && rect.height() <= v.rowHeight(); };
    // Whatever the window still had to paint of itself comes first; from the
    // caret's first blink on, nothing but the caret is painted again.
    QTRY_VERIFY_WITH_TIMEOUT(std::count_if(watch.rects.cbegin(), watch.rects.cend(), caretSized) >= 3, 20000);
    const auto firstBlink = std::find_if(watch.rects.cbegin(), watch.rects.cend(), caretSized);
    for (auto rect = firstBlink; rect != watch.rects.cend(); ++rect)
        QVERIFY2(caretSized(*rect), qPrintable(QStringLiteral("%1x%2").arg(rect->width()).arg(rect->height())));
}

void tst_TextView::inputMethod()
{
    View v;
    v.setPlainText(u"ab");
    v.setPosition(1);
    QInputMethodEvent compose(QStringLiteral("ka"), {{QInputMethodEvent::Cursor, 2, 1, QVariant()}});
    QApplication::sendEvent(&v, &compose);
    QCOMPARE(v.toPlainText(), QStringLiteral("ab")); // shown, not yet text
    v.viewport()->repaint();
    QCOMPARE(v.inputMethodQuery(Qt::ImSurroundingText).toString(), QStringLiteral("ab"));
    QCOMPARE(v.inputMethodQuery(Qt::ImCursorPosition).toInt(), 1);
    QVERIFY(v.inputMethodQuery(Qt::ImCursorRectangle).toRectF().isValid());

    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("か"));
    QApplication::sendEvent(&v, &commit);
    QCOMPARE(v.toPlainText(), QString::fromUtf8("aかb"));
    QCOMPARE(v.position(), 2);

    // A commit that replaces what lies before the caret, as a correction does.
    QInputMethodEvent correct;
    correct.setCommitString(QStringLiteral("X"), -2, 2);
    QApplication::sendEvent(&v, &correct);
    QCOMPARE(v.toPlainText(), QStringLiteral("Xb"));

    QInputMethodEvent select(QString(), {{QInputMethodEvent::Selection, 0, 2, QVariant()}});
    QApplication::sendEvent(&v, &select);
    QCOMPARE(v.inputMethodQuery(Qt::ImCurrentSelection).toString(), QStringLiteral("Xb"));
    QCOMPARE(v.inputMethodQuery(Qt::ImAnchorPosition).toInt(), 0);
    QVERIFY(v.inputMethodQuery(Qt::ImEnabled).toBool());

    // A click while composing asks the input method for what it composed;
    // one that keeps composing (here none hands anything over) goes on at
    // the click, where what it commits then lands. Losing the focus drops it.
    v.setPosition(0);
    QApplication::sendEvent(&v, &compose);
    QCOMPARE(v.preeditText(), QStringLiteral("ka"));
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, v.characterRect(1).topLeft() + QPoint(1, 2));
    QCOMPARE(v.preeditText(), QStringLiteral("ka"));
    QCOMPARE(v.toPlainText(), QStringLiteral("Xb"));
    QCOMPARE(v.position(), 1);
    // The input method's caret is in what it composes, shown at the click
    // now: after "ka", where the "b" that follows now shows.
    QCOMPARE(v.inputMethodQuery(Qt::ImCursorRectangle).toRectF().left(), v.characterRect(1).left() + v.viewport()->x());
    QApplication::sendEvent(&v, &commit);
    QCOMPARE(v.toPlainText(), QString::fromUtf8("Xかb"));
    QApplication::sendEvent(&v, &compose);
    v.clearFocus();
    QCOMPARE(v.preeditText(), QString());
}

void tst_TextView::screenReaderInterface()
{
    View v;
    v.setPlainText(u"Hello there\nsecond line");
    v.setSelection(6, 11);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&v);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::EditableText);
    QVERIFY(iface->state().multiLine && iface->state().editable);
    QAccessibleTextInterface *text = iface->textInterface();
    QVERIFY(text);
    QCOMPARE(text->characterCount(), 23);
    QCOMPARE(text->text(0, -1), v.toPlainText());
    QCOMPARE(text->cursorPosition(), 11);
    int start = 0, end = 0;
    text->selection(0, &start, &end);
    QCOMPARE(QPair(start, end), QPair(6, 11));
    QCOMPARE(text->textAtOffset(7, QAccessible::WordBoundary, &start, &end), QStringLiteral("there"));
    QCOMPARE(text->textAtOffset(14, QAccessible::LineBoundary, &start, &end), QStringLiteral("second line"));
    QCOMPARE(text->textAfterOffset(2, QAccessible::LineBoundary, &start, &end), QStringLiteral("second line"));
    QVERIFY(text->characterRect(0).isValid());
    QCOMPARE(text->offsetAtPoint(v.viewport()->mapToGlobal(v.at(4))), 4);
    QAccessibleEditableTextInterface *editable = iface->editableTextInterface();
    QVERIFY(editable);
    editable->replaceText(0, 5, QStringLiteral("Howdy"));
    QCOMPARE(v.toPlainText(), QStringLiteral("Howdy there\nsecond line"));
    text->setCursorPosition(3);
    QCOMPARE(v.position(), 3);
    // Offsets inside a surrogate pair: an insertion goes before the pair, a
    // deletion takes it whole; no half of it is ever left.
    v.setPlainText(QStringLiteral("a\U0001F600b"));
    editable->insertText(2, QStringLiteral("x"));
    QCOMPARE(v.toPlainText(), QStringLiteral("ax\U0001F600b"));
    editable->deleteText(3, 4);
    QCOMPARE(v.toPlainText(), QStringLiteral("axb"));
    editable->replaceText(0, 1, QStringLiteral("\U0001F600"));
    editable->deleteText(1, 2);
    QCOMPARE(v.toPlainText(), QStringLiteral("xb"));
}

void tst_TextView::dropAndReservedKeys()
{
    View v;
    v.setPlainText(u"[]");
    QMimeData data;
    data.setText(QStringLiteral("dropped"));
    const QPoint at = v.at(1) - QPoint(v.characterRect(1).width() / 2, 0);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(v.viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(v.viewport(), &drop);
    QCOMPARE(v.toPlainText(), QStringLiteral("[dropped]"));

    // A key the window keeps for its own shortcut is not claimed.
    v.setReservedShortcuts({QKeySequence(Qt::SHIFT | Qt::Key_Insert)});
    QKeyEvent reserved(QEvent::ShortcutOverride, Qt::Key_Insert, Qt::ShiftModifier);
    QApplication::sendEvent(&v, &reserved);
    QVERIFY(!reserved.isAccepted());
    QKeyEvent own(QEvent::ShortcutOverride, Qt::Key_V, Qt::ControlModifier);
    QApplication::sendEvent(&v, &own);
    QVERIFY(own.isAccepted());
}

void tst_TextView::keysClaimedAreKeysHandled()
{
    // Ahead of any shortcut the view claims a key exactly when it acts on it.
    View v;
    v.setReservedShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Insert), QKeySequence(Qt::CTRL | Qt::Key_F)});
    const Qt::KeyboardModifiers modifierSets[] = {Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier,
                                                   Qt::AltModifier, Qt::ControlModifier | Qt::ShiftModifier};
    const QList<int> keys = {Qt::Key_A, Qt::Key_C, Qt::Key_F, Qt::Key_V, Qt::Key_X, Qt::Key_Y, Qt::Key_Z,
                             Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_Home, Qt::Key_End,
                             Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Backspace, Qt::Key_Delete,
                             Qt::Key_Insert, Qt::Key_Return, Qt::Key_Tab, Qt::Key_Escape, Qt::Key_F1};
    for (int key : keys) {
        for (Qt::KeyboardModifiers mods : modifierSets) {
            v.setPlainText(u"one two\nthree four");
            v.setSelection(2, 9);
            const QString text = key >= Qt::Key_A && key <= Qt::Key_Z && !(mods & ~Qt::ShiftModifier)
                                     ? QString(QChar(key)) : QString();
            QKeyEvent override(QEvent::ShortcutOverride, key, mods, text);
            QApplication::sendEvent(&v, &override);
            QKeyEvent press(QEvent::KeyPress, key, mods, text);
            QApplication::sendEvent(&v, &press);
            QVERIFY2(override.isAccepted() == press.isAccepted(),
                     qPrintable(QKeySequence(QKeyCombination(mods, Qt::Key(key))).toString()));
        }
    }
    QKeyEvent reserved(QEvent::ShortcutOverride, Qt::Key_F, Qt::ControlModifier);
    QApplication::sendEvent(&v, &reserved);
    QVERIFY(!reserved.isAccepted());
}

void tst_TextView::wordAtTheEndOfALineIsWhole()
{
    // A double-click right of a line that ends in an emoji takes the emoji
    // whole; typing over it leaves no half of it behind.
    View v;
    v.setPlainText(QString::fromUtf8("ab \U0001F600\nnext"));
    const QRect last = v.characterRect(3);
    const QPoint beyond(last.right() + 40, last.center().y());
    QTest::mouseDClick(v.viewport(), Qt::LeftButton, {}, beyond);
    QCOMPARE(v.selectedText(), QString::fromUtf8("\U0001F600"));
    QTest::keyClicks(&v, QStringLiteral("x"));
    QCOMPARE(v.toPlainText(), QStringLiteral("ab x\nnext"));

    // One rule for words: double-click, Ctrl+arrows and Ctrl+Backspace agree.
    v.setPlainText(u"say don't stop");
    QTest::mouseDClick(v.viewport(), Qt::LeftButton, {}, v.at(5));
    QCOMPARE(v.selectedText(), QStringLiteral("don't"));
    v.setPosition(4);
    v.key(Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(v.position(), 10);
    v.key(Qt::Key_Backspace, Qt::ControlModifier);
    QCOMPARE(v.toPlainText(), QStringLiteral("say stop"));
}

void tst_TextView::preeditEndsWhenTheTextChangesUnderIt()
{
    // While an input method composes at the end, the text shrinks by other
    // means; then the composition is committed.
    const std::function<void(View &)> shrinks[] = {
        [](View &v) { v.selectAll(); v.deleteSelection(); },
        [](View &v) { v.undo(); },
        [](View &v) { v.selectAll(); v.insertText(u"p"); },
        [](View &v) { v.setPlainText(u"new"); },
    };
    for (const auto &shrink : shrinks) {
        View v;
        v.setPlainText(u"start");
        v.setPosition(5);
        v.insertText(u" of a longer text");
        QInputMethodEvent compose(QStringLiteral("ka"), {});
        QApplication::sendEvent(&v, &compose);
        QCOMPARE(v.preeditText(), QStringLiteral("ka"));
        shrink(v);
        QVERIFY(v.preeditText().isEmpty());
        v.viewport()->repaint();
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("K"));
        QApplication::sendEvent(&v, &commit);
        QVERIFY(v.position() <= v.length());
        QVERIFY(v.toPlainText().contains(u'K'));
        v.viewport()->repaint();
    }
}

void tst_TextView::overCapacityTheTextMayStillShrink()
{
    View v;
    v.setPlainText(u"0123456789");
    v.setMaxLength(5); // a text loaded whole may be longer than edits may make it
    v.setPosition(10);
    v.key(Qt::Key_Backspace);
    v.key(Qt::Key_Home);
    v.key(Qt::Key_Delete);
    QCOMPARE(v.toPlainText(), QStringLiteral("12345678"));
    v.setSelection(0, 3);
    QVERIFY(v.insertText(u"ab")); // shorter than what it replaces
    QCOMPARE(v.toPlainText(), QStringLiteral("ab45678"));
    QTest::keyClicks(&v, QStringLiteral("z")); // growing it is refused
    QCOMPARE(v.toPlainText(), QStringLiteral("ab45678"));
}

void tst_TextView::randomActions()
{
    // Keys, the mouse and input methods in any order: positions stay in the
    // text and on whole characters, painting never fails, and the history
    // takes the text back to where it started and forward again.
    QRandomGenerator random(232000);
    const QStringList typed = {"a", "Z", " ", "\u00E9", "e\u0301", "\U0001F600", "\U0001F469\u200D\U0001F4BB",
                               "\U0001F1E9\U0001F1EA", "\u6F22", "\u2028", "'", "\t"};
    const QList<QPair<int, Qt::KeyboardModifiers>> keys = {
        {Qt::Key_Left, {}}, {Qt::Key_Right, {}}, {Qt::Key_Up, {}}, {Qt::Key_Down, {}},
        {Qt::Key_Left, Qt::ShiftModifier}, {Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier},
        {Qt::Key_Left, Qt::ControlModifier}, {Qt::Key_Home, {}}, {Qt::Key_End, Qt::ShiftModifier},
        {Qt::Key_PageDown, {}}, {Qt::Key_PageUp, Qt::ShiftModifier}, {Qt::Key_End, Qt::ControlModifier},
        {Qt::Key_Backspace, {}}, {Qt::Key_Delete, {}}, {Qt::Key_Backspace, Qt::ControlModifier},
        {Qt::Key_Delete, Qt::ControlModifier}, {Qt::Key_Return, {}}, {Qt::Key_Z, Qt::ControlModifier},
        {Qt::Key_Y, Qt::ControlModifier}, {Qt::Key_A, Qt::ControlModifier}, {Qt::Key_X, Qt::ControlModifier},
        {Qt::Key_V, Qt::ControlModifier}, {Qt::Key_C, Qt::ControlModifier}};
    for (int round = 0; round < 12; ++round) {
        View v;
        v.resize(120 + random.bounded(300), 60 + random.bounded(200));
        QString start;
        for (int i = random.bounded(60); i > 0; --i)
            start += typed.at(random.bounded(int(typed.size()))) + (random.bounded(8) ? "" : "\r\n");
        v.setPlainText(start);
        const QString startText = v.toPlainText();
        for (int step = 0; step < 250; ++step) {
            const QPoint point(random.bounded(v.viewport()->width()), random.bounded(v.viewport()->height()));
            switch (random.bounded(10)) {
            case 0:
            case 1:
            case 2: {
                const auto &[key, mods] = keys.at(random.bounded(int(keys.size())));
                v.key(key, mods);
                break;
            }
            case 3:
                v.type(typed.at(random.bounded(int(typed.size()))));
                break;
            case 4:
                QTest::mouseClick(v.viewport(), Qt::LeftButton,
                                  random.bounded(3) ? Qt::NoModifier : Qt::ShiftModifier, point);
                break;
            case 5:
                QTest::mouseDClick(v.viewport(), Qt::LeftButton, {}, point);
                break;
            case 6: {
                QInputMethodEvent compose(typed.at(random.bounded(int(typed.size()))),
                                          {{QInputMethodEvent::Cursor, random.bounded(3), 1, QVariant()}});
                QApplication::sendEvent(&v, &compose);
                break;
            }
            case 7: {
                QInputMethodEvent commit;
                commit.setCommitString(typed.at(random.bounded(int(typed.size()))),
                                       -random.bounded(3), random.bounded(3));
                QApplication::sendEvent(&v, &commit);
                break;
            }
            case 8: // the text changes by other means, a composition or not
                if (random.bounded(2)) {
                    const TextStore &store = v.document().store();
                    auto whole = [&](int p) { return TextBoundaries::nextCharacter(store, TextBoundaries::previousCharacter(store, p)); };
                    v.setSelection(whole(random.bounded(v.length() + 1)), whole(random.bounded(v.length() + 1)));
                    v.deleteSelection();
                } else {
                    v.undo();
                }
                break;
            default:
                v.resize(80 + random.bounded(400), 40 + random.bounded(300));
                break;
            }
            v.viewport()->repaint();
            const QString text = v.toPlainText();
            for (int p : {v.position(), v.anchor()}) {
                QVERIFY(p >= 0 && p <= v.length());
                QVERIFY2(p == 0 || p == text.size() || !(text.at(p - 1).isHighSurrogate() && text.at(p).isLowSurrogate()),
                         qPrintable(QString::number(step)));
            }
        }
        const QString endText = v.toPlainText();
        while (v.document().isUndoAvailable())
            v.undo();
        QCOMPARE(v.toPlainText(), startText);
        while (v.document().isRedoAvailable())
            v.redo();
        QCOMPARE(v.toPlainText(), endText);
    }
}

QTEST_MAIN(tst_TextView)
#include "tst_textview.moc"
