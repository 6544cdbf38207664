// CWindow: stay on top, centring, and the edit commands on the focused control.

#include "window/ActiveControl.h"
#include "window/CWindow.h"
#include "support/Fakes.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWindow>

class tst_Window : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { support::endProgram(); }

    void centeredOffsetRounding();
    void centerKeepsTheSize();
    void stayOnTopToggles();
    void editCommandsOnEveryKindOfControl();
    void editCommandEdgeCases();
    void failingClipboardGivesEachErrorNumber();
};

void tst_Window::centeredOffsetRounding()
{
    QCOMPARE(CWindow::centeredOffset(9600, 4785), 2408); // 2407.5 to the even neighbour
    QCOMPARE(CWindow::centeredOffset(9600, 4775), 2412); // 2412.5 likewise
    QCOMPARE(CWindow::centeredOffset(9600, 10000), -200); // not clamped
    QCOMPARE(CWindow::centeredOffset(9600, 4774), 2413);
    QCOMPARE(CWindow::centeredOffset(9601, 4000), 2800); // 2800.5
    QCOMPARE(CWindow::centeredOffset(9600, 10001), -200); // -200.5
    QCOMPARE(CWindow::centeredOffset(9600, 10003), -202); // -201.5
}

void tst_Window::centerKeepsTheSize()
{
    QWidget window;
    window.resize(300, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QSize size = window.frameGeometry().size();
    CWindow utilities;
    utilities.Center(window);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(window.frameGeometry().size(), size);
    QVERIFY(qAbs(window.frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(window.frameGeometry().center().y() - screen.center().y()) <= 1);
    const QPoint centred = window.pos();
    utilities.Center(window); // already centred: stays
    QCOMPARE(window.pos(), centred);
}

void tst_Window::stayOnTopToggles()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    QVERIFY(QTest::qWaitForWindowExposed(&frm));
    QAction *item = frm.action(QStringLiteral("Stay_On_Top"));
    const QRect geometry = frm.geometry();
    const WId id = frm.winId();
    QWindow *native = frm.windowHandle();

    item->trigger();
    QVERIFY(item->isChecked());
    QVERIFY(native->flags() & Qt::WindowStaysOnTopHint);
    QVERIFY(frm.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(frm.geometry(), geometry);
    QCOMPARE(frm.winId(), id); // not re-created
    QCOMPARE(frm.windowHandle(), native);
    QVERIFY(frm.isVisible());

    item->trigger();
    QVERIFY(!item->isChecked());
    QVERIFY(!(native->flags() & Qt::WindowStaysOnTopHint));
    QCOMPARE(frm.geometry(), geometry);
    QCOMPARE(frm.winId(), id);

    // Twice on, and off for a window that is not pinned: no change beyond the state.
    CWindow utilities;
    utilities.OnTop(frm, true);
    utilities.OnTop(frm, true);
    QVERIFY(native->flags() & Qt::WindowStaysOnTopHint);
    utilities.OnTop(frm, false);
    utilities.OnTop(frm, false);
    QVERIFY(!(native->flags() & Qt::WindowStaysOnTopHint));
    QCOMPARE(frm.geometry(), geometry);

    // Where no window may stay above the others (Wayland), it says so once,
    // and the check mark stays off.
    system.windowSystem.cannotKeepAbove = QStringLiteral("no window may stay above here");
    item->trigger();
    QVERIFY(!item->isChecked());
    QVERIFY(!(native->flags() & Qt::WindowStaysOnTopHint));
    QCOMPARE(system.messages.shown.size(), 1);
    QCOMPARE(system.messages.shown.first().text, QStringLiteral("no window may stay above here"));
    QCOMPARE(system.messages.shown.first().title, Module1::applicationTitle());
}

namespace {

struct Form : QWidget
{
    QLineEdit *line = new QLineEdit(QStringLiteral("abcdef"));
    QComboBox *combo = new QComboBox;
    QSpinBox *spin = new QSpinBox;
    QTextEdit *rich = new QTextEdit;
    QPlainTextEdit *plain = new QPlainTextEdit;
    ClipText *clip = new ClipText;
    QPushButton *button = new QPushButton(QStringLiteral("Button"));

    Form()
    {
        combo->setEditable(true);
        combo->setEditText(QStringLiteral("abcdef"));
        spin->setRange(0, 999999);
        spin->setValue(123456);
        rich->setPlainText(QStringLiteral("ab\ncdef"));
        plain->setPlainText(QStringLiteral("ab\ncdef"));
        clip->setText(QStringLiteral("ab\ncdef"));
        auto *layout = new QVBoxLayout(this);
        for (QWidget *w : std::initializer_list<QWidget *>{line, combo, spin, rich, plain, clip, button})
            layout->addWidget(w);
    }

    // The edit commands work on the active window: make this one active.
    bool showActive()
    {
        show();
        activateWindow();
        return QTest::qWaitForWindowActive(this);
    }
};

void selectMiddle(QWidget *w)
{
    // Selects three characters from position 1 in whatever control w is.
    if (auto *l = qobject_cast<QLineEdit *>(w))
        l->setSelection(1, 3);
    else if (auto *c = qobject_cast<QComboBox *>(w))
        c->lineEdit()->setSelection(1, 3);
    else if (auto *s = qobject_cast<QSpinBox *>(w))
        s->findChild<QLineEdit *>()->setSelection(1, 3);
    else if (auto *t = qobject_cast<QTextEdit *>(w)) {
        QTextCursor cur = t->textCursor();
        cur.setPosition(1);
        cur.setPosition(4, QTextCursor::KeepAnchor);
        t->setTextCursor(cur);
    } else if (auto *p = qobject_cast<QPlainTextEdit *>(w)) {
        QTextCursor cur = p->textCursor();
        cur.setPosition(1);
        cur.setPosition(4, QTextCursor::KeepAnchor);
        p->setTextCursor(cur);
    } else if (auto *clip = qobject_cast<ClipText *>(w)) {
        clip->setSelStart(1);
        clip->setSelLength(3);
    }
}

QString textOf(QWidget *w)
{
    if (auto *l = qobject_cast<QLineEdit *>(w))
        return l->text();
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    if (auto *s = qobject_cast<QSpinBox *>(w))
        return s->findChild<QLineEdit *>()->text();
    if (auto *t = qobject_cast<QTextEdit *>(w))
        return t->toPlainText();
    if (auto *clip = qobject_cast<ClipText *>(w))
        return clip->Text();
    return qobject_cast<QPlainTextEdit *>(w)->toPlainText();
}

} // namespace

void tst_Window::editCommandsOnEveryKindOfControl()
{
    fake::System system;
    Form form;
    QVERIFY(form.showActive());
    CWindow utilities;

    const QList<QWidget *> controls{form.line, form.combo, form.spin, form.rich, form.plain, form.clip};
    for (QWidget *control : controls) {
        const QByteArray kind = control->metaObject()->className();
        control->setFocus();
        QVERIFY2(ActiveControl::current() == control || control->isAncestorOf(ActiveControl::current()), kind);
        const QString before = textOf(control);
        const bool multiLine = before.contains(u'\n');

        selectMiddle(control);
        QVERIFY2(!utilities.EditCopy(), kind);
        QCOMPARE(system.clipboard.text, multiLine ? QStringLiteral("b\nc") : before.mid(1, 3));
        QCOMPARE(textOf(control), before);

        selectMiddle(control);
        QVERIFY2(!utilities.EditCut(), kind);
        QCOMPARE(system.clipboard.text, multiLine ? QStringLiteral("b\nc") : before.mid(1, 3));
        QCOMPARE(textOf(control), before.left(1) + before.mid(4));

        system.clipboard.text = QStringLiteral("42");
        QVERIFY2(!utilities.EditPaste(), kind);
        QCOMPARE(textOf(control), before.left(1) + QStringLiteral("42") + before.mid(4));
        QCOMPARE(system.clipboard.text, QStringLiteral("42")); // paste leaves the clipboard
    }
}

void tst_Window::editCommandEdgeCases()
{
    fake::System system;
    Form form;
    QVERIFY(form.showActive());
    CWindow utilities;

    // Nothing selected: Copy empties the clipboard and puts the empty text on it.
    form.line->setFocus();
    form.line->setCursorPosition(2);
    system.clipboard.text = QStringLiteral("previous");
    QVERIFY(!utilities.EditCopy());
    QCOMPARE(system.clipboard.text, QString());
    QCOMPARE(system.clipboard.clearCalls, 1);

    // An empty clipboard pasted over a selection deletes it.
    form.line->setSelection(0, 3);
    QVERIFY(!utilities.EditPaste());
    QCOMPARE(form.line->text(), QStringLiteral("def"));
    // Nothing selected: inserted at the caret.
    system.clipboard.text = QStringLiteral("XY");
    form.line->setCursorPosition(1);
    QVERIFY(!utilities.EditPaste());
    QCOMPARE(form.line->text(), QStringLiteral("dXYef"));

    // A button carries no selection: the clipboard is emptied, then 516.
    form.button->setFocus();
    system.clipboard.text = QStringLiteral("will go");
    for (auto command : {&CWindow::EditCopy, &CWindow::EditCut}) {
        const std::optional<ErrorRecord> error = (utilities.*command)();
        QVERIFY(error);
        QCOMPARE(error->Number, -2147220988);
        QCOMPARE(error->Source, QStringLiteral("CApplication"));
        QCOMPARE(error->Description, QStringLiteral("Could not set text from active control to clipboard."));
        QCOMPARE(system.clipboard.text, QString());
    }
    const std::optional<ErrorRecord> paste = utilities.EditPaste();
    QVERIFY(paste);
    QCOMPARE(paste->Number, -2147220987);

    // A full text area refuses the paste: 517 and no change.
    form.clip->setFocus();
    form.clip->setMaxCharacters(form.clip->length());
    system.clipboard.text = QStringLiteral("more");
    QCOMPARE(utilities.EditPaste()->Number, CWindow::ErrPasteFromClipboard);
    QCOMPARE(form.clip->Text(), QStringLiteral("ab\ncdef"));

    // No active window at all.
    form.hide();
    QTRY_VERIFY(!QApplication::activeWindow());
    QCOMPARE(utilities.EditCopy()->Number, CWindow::ErrCopyToClipboard);
    QCOMPARE(utilities.EditCut()->Number, CWindow::ErrCopyToClipboard);
    QCOMPARE(utilities.EditPaste()->Number, CWindow::ErrPasteFromClipboard);
}

void tst_Window::failingClipboardGivesEachErrorNumber()
{
    fake::System system;
    Form form;
    QVERIFY(form.showActive());
    form.line->setFocus();
    form.line->setSelection(0, 2);
    CWindow utilities;

    system.clipboard.text = QStringLiteral("kept");
    system.clipboard.failClear = true;
    std::optional<ErrorRecord> e = utilities.EditCopy();
    QCOMPARE(e->Number, qint32(0x80040203));
    QCOMPARE(e->Number, -2147220989);
    QCOMPARE(e->Source, QStringLiteral("CApplication"));
    QCOMPARE(e->Description, QStringLiteral("Could not clear clipboard."));
    QCOMPARE(utilities.EditCut()->Number, -2147220989);
    QCOMPARE(form.line->text(), QStringLiteral("abcdef")); // ended before the control was read
    QCOMPARE(system.clipboard.text, QStringLiteral("kept"));

    system.clipboard.failClear = false;
    system.clipboard.failSet = true;
    QCOMPARE(utilities.EditCopy()->Number, -2147220988);
    QCOMPARE(system.clipboard.text, QString()); // emptied, then refused: left empty
    form.line->setSelection(0, 2);
    QCOMPARE(utilities.EditCut()->Number, -2147220988);
    QCOMPARE(form.line->text(), QStringLiteral("cdef")); // the selection goes all the same

    system.clipboard.failSet = false;
    system.clipboard.failRead = true;
    form.line->setSelection(0, 2);
    e = utilities.EditPaste();
    QCOMPARE(e->Number, -2147220987);
    QCOMPARE(e->Description, QStringLiteral("Could not paste text from clipboard to active control."));
    QCOMPARE(form.line->text(), QStringLiteral("cdef")); // not touched
}

QTEST_MAIN(tst_Window)
#include "tst_window.moc"
