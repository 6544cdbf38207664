// The Set Clip Window Name dialog and the About box.

#include "ui/Twips.h"
#include "dialogs/About_Quillpad.h"
#include "dialogs/Set_Name.h"
#include "search/frm_search.h"
#include "support/Fakes.h"
#include "support/TestSupport.h"
#include "system/QtDialogs.h"

#include <QCheckBox>
#include <QClipboard>
#include <QStyleOptionButton>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

class tst_Dialogs : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { support::endProgram(); }

    void setNameLayout();
    void renameWithOkay();
    void fillingTheField_data();
    void fillingTheField();
    void enterSetsTheApplicationTitleToo();
    void cancelCloseBoxAndEscapeChangeNothing();
    void emptyName();
    void typingLimit();
    void eachOpeningStartsAfresh();
    void aboutBox();
    void aboutBoxIsModalAndFresh();
    void everyTextFitsItsRectangle();

private:
    // Runs Set Window Name with the script acting on the open dialog.
    void setWindowName(frm_Quillpad &frm, fake::System &system, std::function<void(Set_Name &)> script)
    {
        system.modal.script = [script](QDialog &d) { script(static_cast<Set_Name &>(d)); };
        frm.action(QStringLiteral("win_name"))->trigger();
    }
};

void tst_Dialogs::setNameLayout()
{
    fake::System system;
    support::start();
    Set_Name dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Set Clip Window Name"));
    QCOMPARE(dlg.size(), Twips::toPixels(4950, 1515));
    QVERIFY(dlg.font().bold());
    QVERIFY(!(dlg.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(dlg.findChild<QLabel *>(QStringLiteral("Label1"))->text(), QStringLiteral("Enter New Window Name:"));
    QCOMPARE(dlg.Input_Name()->geometry(), Twips::rect(120, 450, 4695, 375));
    QCOMPARE(dlg.Input_Name()->palette().color(QPalette::Base), QColor(224, 224, 224));
    QCOMPARE(dlg.Input_Name()->palette().color(QPalette::Text), QColor(0, 0, 0));
    QCOMPARE(dlg.Input_Name()->maxLength(), std::numeric_limits<int>::max()); // none of its own // no maximum of its own
    QCOMPARE(dlg.Command1()->text(), QStringLiteral("Okay"));
    QCOMPARE(dlg.Command1()->geometry(), Twips::rect(120, 960, 975, 375));
    QCOMPARE(dlg.Command2()->text(), QStringLiteral("Cancel"));
    QCOMPARE(dlg.Command2()->geometry(), Twips::rect(3840, 960, 975, 375));
    for (QPushButton *b : {dlg.Command1(), dlg.Command2()})
        QVERIFY(!b->isDefault() && !b->autoDefault());
    QCOMPARE(dlg.Input_Name()->nextInFocusChain(), dlg.Command1());
    QCOMPARE(dlg.Command1()->nextInFocusChain(), dlg.Command2());
}

void tst_Dialogs::renameWithOkay()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    frm.setWindowTitle(QStringLiteral("09:41:07:  CLIP"));
    const QString title = Module1::applicationTitle();
    QString shown;
    int selectedLength = -1;
    setWindowName(frm, system, [&](Set_Name &dlg) {
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QCOMPARE(QApplication::focusWidget(), dlg.Input_Name());
        shown = dlg.Input_Name()->text();
        selectedLength = int(dlg.Input_Name()->selectedText().size());
        QTest::keyClicks(dlg.Input_Name(), QStringLiteral("Notes")); // replaces the selection
        dlg.Command1()->click();
    });
    QCOMPARE(shown, QStringLiteral("09:41:07"));
    QCOMPARE(selectedLength, 8);
    QCOMPARE(frm.windowTitle(), QStringLiteral("Notes:  CLIP"));
    QCOMPARE(Module1::applicationTitle(), title); // Okay leaves the title
}

void tst_Dialogs::fillingTheField_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("field");
    QTest::newRow("suffix") << "notes.txt:  CLIP" << "notes.txt";
    QTest::newRow("no suffix") << "Plain caption" << "Plain caption";
    QTest::newRow("suffix twice") << "a:  CLIP:  CLIP" << "a:  CLIP";
    QTest::newRow("other case") << "a:  clip" << "a:  clip";
    QTest::newRow("suffix alone") << ":  CLIP" << "";
}

void tst_Dialogs::fillingTheField()
{
    QFETCH(QString, caption);
    QFETCH(QString, field);
    fake::System system;
    frm_Quillpad &frm = support::start();
    frm.setWindowTitle(caption);
    Set_Name dlg;
    QCOMPARE(dlg.Input_Name()->text(), field);
}

void tst_Dialogs::enterSetsTheApplicationTitleToo()
{
    for (const auto &[key, mods] : {std::pair{Qt::Key_Return, Qt::KeyboardModifiers()},
                                    std::pair{Qt::Key_Enter, Qt::KeyboardModifiers(Qt::KeypadModifier)},
                                    std::pair{Qt::Key_Return, Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::ControlModifier)},
                                    std::pair{Qt::Key_Return, Qt::KeyboardModifiers(Qt::AltModifier)}}) {
        fake::System system;
        frm_Quillpad &frm = support::start();
        bool stillOpen = true;
        setWindowName(frm, system, [&](Set_Name &dlg) {
            dlg.Input_Name()->setText(QString(40, u'n')); // the typing limit never blocks Enter
            QTest::keyClick(dlg.Input_Name(), key, mods);
            stillOpen = dlg.isVisible();
        });
        QVERIFY(!stillOpen);
        QCOMPARE(frm.windowTitle(), QString(40, u'n') + QStringLiteral(":  CLIP"));
        QCOMPARE(Module1::applicationTitle(), frm.windowTitle());
        support::endProgram();
    }
}

void tst_Dialogs::cancelCloseBoxAndEscapeChangeNothing()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    const QString caption = frm.windowTitle();
    const QString title = Module1::applicationTitle();

    bool openAfterEscape = false;
    setWindowName(frm, system, [&](Set_Name &dlg) {
        dlg.Input_Name()->setText(QStringLiteral("changed"));
        QTest::keyClick(dlg.Input_Name(), Qt::Key_Escape);
        QTest::keyClick(&dlg, Qt::Key_Escape);
        openAfterEscape = dlg.isVisible();
        dlg.Command2()->click();
    });
    QVERIFY(openAfterEscape);
    setWindowName(frm, system, [&](Set_Name &dlg) {
        dlg.Input_Name()->setText(QStringLiteral("changed"));
        dlg.close(); // the close box
    });
    QCOMPARE(frm.windowTitle(), caption);
    QCOMPARE(Module1::applicationTitle(), title);
}

void tst_Dialogs::emptyName()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    setWindowName(frm, system, [&](Set_Name &dlg) {
        dlg.Input_Name()->clear();
        dlg.Command1()->click();
    });
    QCOMPARE(frm.windowTitle(), QStringLiteral(":  CLIP"));
}

void tst_Dialogs::typingLimit()
{
    fake::System system;
    support::start();
    Set_Name dlg;
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QLineEdit *field = dlg.Input_Name();

    // 33 characters take one more; 34 take no more.
    field->setText(QString(33, u'a'));
    QTest::keyClick(field, Qt::Key_B);
    QCOMPARE(field->text(), QString(33, u'a') + u'b');
    QTest::keyClick(field, Qt::Key_C);
    QCOMPARE(field->text().size(), 34);

    // All 34 selected: a letter is still discarded (the selection does not count).
    field->selectAll();
    QTest::keyClick(field, Qt::Key_X);
    QCOMPARE(field->text().size(), 34);
    // Control characters count as typed: Ctrl+V pastes nothing.
    QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
    field->setCursorPosition(34);
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(field->text().size(), 34);

    // Backspace always works; then typing does again.
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(field->text().size(), 33);
    QTest::keyClick(field, Qt::Key_D);
    QCOMPARE(field->text().size(), 34);

    // Delete, arrows, Home and End always work.
    QTest::keyClick(field, Qt::Key_Home);
    QCOMPARE(field->cursorPosition(), 0);
    QTest::keyClick(field, Qt::Key_Right);
    QCOMPARE(field->cursorPosition(), 1);
    QTest::keyClick(field, Qt::Key_End);
    QCOMPARE(field->cursorPosition(), 34);
    QTest::keyClick(field, Qt::Key_Left);
    QTest::keyClick(field, Qt::Key_Delete);
    QCOMPARE(field->text().size(), 33);

    // Text that arrives other than by typing is not cut.
    field->setText(QString(34, u'z'));
    field->setCursorPosition(34);
    field->insert(QStringLiteral("more")); // as the context menu's paste does
    QCOMPARE(field->text().size(), 38);
    // However long: a line edit would cut it at 32767.
    field->setText(QString(40000, u'n'));
    QCOMPARE(field->text().size(), 40000);
    // On one line, as the field shows it: a line break or a tab becomes a blank.
    field->clear();
    field->insert(QStringLiteral("first line\r\nsecond\tline\n"));
    QCOMPARE(field->text(), QStringLiteral("first line second line "));
    QCOMPARE(field->cursorPosition(), 23);

    // The key codes the limit counts.
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    QCOMPARE(Set_Name::typedCharacter(del), 0);
    QKeyEvent ctrlV(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier, QStringLiteral("\x16"));
    QCOMPARE(Set_Name::typedCharacter(ctrlV), 22);
    QKeyEvent bs(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"));
    QCOMPARE(Set_Name::typedCharacter(bs), 8);
    QKeyEvent e(QEvent::KeyPress, Qt::Key_E, Qt::NoModifier, QString::fromUtf8("é"));
    QCOMPARE(Set_Name::typedCharacter(e), 0xE9);
}

void tst_Dialogs::eachOpeningStartsAfresh()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    QList<QPointer<QDialog>> seen;
    QStringList fields;
    for (int i = 0; i < 2; ++i) {
        setWindowName(frm, system, [&](Set_Name &dlg) {
            seen << QPointer<QDialog>(&dlg);
            fields << dlg.Input_Name()->text();
            dlg.Input_Name()->setText(QStringLiteral("typed but cancelled"));
            dlg.Command2()->click();
        });
    }
    QCOMPARE(system.modal.runs, 2);
    QVERIFY(!seen.at(0) && !seen.at(1)); // each released after its showing
    QCOMPARE(fields.at(0), fields.at(1));
}

void tst_Dialogs::aboutBox()
{
    About_Quillpad about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Quillpad"));
    QCOMPARE(about.size(), Twips::toPixels(2865, 3285));
    QCOMPARE(about.palette().color(QPalette::Window), QColor(0, 0, 0));
    QVERIFY(!(about.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(about.windowFlags() & Qt::WindowCloseButtonHint);

    struct Expected { QLabel *label; QString text; QRect rect; QColor color; double points; };
    const QList<Expected> labels{
        {about.Label1(), "Orl Quillpad 1.0.11", Twips::rect(240, 1440, 2385, 585), QColor(255, 0, 0), 12},
        {about.Label2(), "December 22nd, 1997", Twips::rect(360, 2040, 2190, 330), QColor(255, 255, 255), 8.25},
        {about.Label3(), about.Label3()->text(), Twips::rect(360, 2280, 2295, 375), QColor(0, 0, 255), 8.25},
        {about.oslevel(), "For Windows 95 (32-bit)", Twips::rect(720, 2760, 1575, 375), QColor(255, 255, 0), 8.25},
    };
    for (const Expected &e : labels) {
        QCOMPARE(e.label->text(), e.text);
        QCOMPARE(e.label->geometry(), e.rect);
        QCOMPARE(e.label->palette().color(QPalette::WindowText), e.color);
        // The design size, or a little less where a stand-in font is wider.
        QVERIFY(e.label->font().pointSizeF() <= e.points && e.label->font().pointSizeF() > e.points * 0.75);
        QVERIFY(e.label->font().bold());
        QVERIFY(e.label->alignment() & Qt::AlignHCenter);
        QVERIFY(!e.label->autoFillBackground());
    }
    QVERIFY(about.Label3()->text().startsWith(QStringLiteral("Quillpad Project")));

    const QImage picture = about.Picture().toImage();
    QCOMPARE(picture.size(), QSize(160, 100));
    // The picture is the background at the top left; the labels let it and the black show.
    about.show();
    const QImage shot = about.grab().toImage();
    QCOMPARE(shot.pixelColor(5, 5), picture.pixelColor(5, 5));
    QCOMPARE(shot.pixelColor(2, shot.height() - 2), QColor(0, 0, 0));
}

void tst_Dialogs::aboutBoxIsModalAndFresh()
{
    fake::System system;
    frm_Quillpad &frm = support::start();
    support::clip().setText(QStringLiteral("unchanged"));
    // The real modal showing, closed as a person would with the frame's close box.
    sys::QtModalRunner realRunner;
    sys::ScopedServices useReal(sys::Services{nullptr, nullptr, nullptr, nullptr, &realRunner});
    QList<QPointer<QDialog>> seen;
    QStringList oslevels;
    bool mainBlocked = false;
    bool stillOpenAfterEscape = false;
    for (int i = 0; i < 2; ++i) {
        QTimer poll;
        int ticks = 0;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *about = qobject_cast<About_Quillpad *>(QApplication::activeModalWidget());
            if (!about) {
                if (++ticks > 500 && QApplication::activeModalWidget())
                    QApplication::activeModalWidget()->close(); // never hang
                return;
            }
            poll.stop();
            seen << QPointer<QDialog>(about);
            oslevels << about->oslevel()->text();
            mainBlocked = about->windowModality() == Qt::ApplicationModal
                          && QApplication::activeModalWidget() == about && !frm.isActiveWindow();
            about->oslevel()->setText(QStringLiteral("changed while open"));
            QTest::keyClick(about, Qt::Key_Escape); // only the frame closes it
            stillOpenAfterEscape = about->isVisible();
            about->close();
        });
        poll.start(10);
        frm.action(QStringLiteral("ABout"))->trigger();
        QVERIFY(mainBlocked);
        QVERIFY(stillOpenAfterEscape);
    }
    QCOMPARE(oslevels, (QStringList{"For Windows 95 (32-bit)", "For Windows 95 (32-bit)"}));
    QVERIFY(!seen.at(0) && !seen.at(1));
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(support::clip().Text(), QStringLiteral("unchanged"));
}

namespace {

// Why the widget's text does not fit the rectangle it was laid out in, or nothing.
QString overflow(QWidget *widget)
{
    const QFontMetrics metrics(widget->font());
    QRect room;
    QString text;
    int flags = Qt::TextSingleLine;
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        room = label->contentsRect();
        text = label->text();
        // As a label draws it: the lines its text has, wrapped only where it wraps.
        flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
    } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool check = qobject_cast<QCheckBox *>(button);
        room = button->style()->subElementRect(check ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents,
                                               &option, button);
        text = button->text().remove(u'&');
    } else {
        return QString();
    }
    const QRect need = metrics.boundingRect(room, flags, text);
    if (need.width() <= room.width() && need.height() <= room.height())
        return QString();
    return QStringLiteral("%1 \"%2\" needs %3x%4 in %5x%6 (%7 %8 pt)")
        .arg(widget->objectName(), text)
        .arg(need.width()).arg(need.height()).arg(room.width()).arg(room.height())
        .arg(widget->font().family()).arg(widget->font().pointSizeF());
}

} // namespace

void tst_Dialogs::everyTextFitsItsRectangle()
{
    fake::System system;
    support::start();
    Set_Name setName;
    About_Quillpad about;
    frm_search &search = Module1::loadedSearchDialog();
    QStringList problems;
    for (QWidget *dialog : std::initializer_list<QWidget *>{&setName, &about, &search}) {
        for (QWidget *widget : dialog->findChildren<QWidget *>()) {
            const QString problem = overflow(widget);
            if (!problem.isEmpty())
                problems << problem;
        }
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    // Each line keeps to one line, as laid out.
    for (QLabel *label : about.findChildren<QLabel *>()) {
        QVERIFY(!label->wordWrap());
        for (const QString &line : label->text().split(u'\n'))
            QVERIFY2(QFontMetrics(label->font()).horizontalAdvance(line) <= label->contentsRect().width(),
                     qPrintable(line));
    }
}

QTEST_MAIN(tst_Dialogs)
#include "tst_dialogs.moc"
