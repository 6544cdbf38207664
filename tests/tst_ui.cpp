// The pieces the windows share, on their own: the dialog without a default
// or cancel button, labels that keep to their lines, twips, and the
// program's own message box.

#include "ui/Fonts.h"
#include "ui/PlainDialog.h"
#include "ui/Program.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

// A dialog as the program's are made: a field and two buttons, neither of
// them a default.
struct Dialog : PlainDialog
{
    Dialog()
    {
        field = new QLineEdit(this);
        okay = new QPushButton(QStringLiteral("Okay"), this);
        cancel = new QPushButton(QStringLiteral("Cancel"), this);
        okay->move(0, 40);
        cancel->move(100, 40);
        neverDefault({okay, cancel});
        connect(okay, &QPushButton::clicked, this, [this] { ++okays; });
        connect(cancel, &QPushButton::clicked, this, [this] { ++cancels; });
    }
    QLineEdit *field;
    QPushButton *okay;
    QPushButton *cancel;
    int okays = 0;
    int cancels = 0;
};

class Messages final : public sys::MessageBoxes
{
public:
    QStringList seen;
    void show(QWidget *, const QString &text, const QString &title, sys::MessageIcon) override
    {
        seen << title + u'|' + text;
    }
};

} // namespace

class tst_Ui : public QObject
{
    Q_OBJECT

private slots:
    void enterPressesOnlyTheFocusedButton();
    void labelsKeepToTheirLinesAsLaidOut();
    void twipsFollowTheScreen();
    void messagesTakeTheProgramsTitle();
};

void tst_Ui::enterPressesOnlyTheFocusedButton()
{
    Dialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QApplication::setActiveWindow(&dialog);

    // In the field, Enter is the field's: no button is pressed for it.
    dialog.field->setFocus();
    QTest::keyClick(dialog.field, Qt::Key_Return);
    QCOMPARE(dialog.okays + dialog.cancels, 0);

    // On a button, Enter presses that button, as Space does.
    dialog.cancel->setFocus();
    QTest::keyClick(dialog.cancel, Qt::Key_Return);
    QCOMPARE(dialog.cancels, 1);
    dialog.okay->setFocus();
    QTest::keyClick(dialog.okay, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(dialog.okay, Qt::Key_Space);
    QCOMPARE(dialog.okays, 2);
    QCOMPARE(dialog.cancels, 1);

    // Escape closes nothing.
    QTest::keyClick(dialog.okay, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), 0);
}

void tst_Ui::labelsKeepToTheirLinesAsLaidOut()
{
    // A rectangle too narrow for the text in its font: the font goes down
    // until the text fits on its one line, never wrapped onto two.
    QLabel label(QStringLiteral("For Windows 95 (32-bit)"));
    label.setFont(Fonts::sansSerifBold(12));
    label.setGeometry(0, 0, 105, 40);
    Fonts::fitText(&label);
    const QFontMetrics metrics(label.font());
    QVERIFY(metrics.horizontalAdvance(label.text()) <= label.contentsRect().width());
    QVERIFY(label.font().pointSizeF() < 12);

    // Lines the text has itself stay lines.
    QLabel twoLines(QStringLiteral("Quillpad Project\nhelp: see README"));
    twoLines.setFont(Fonts::sansSerifBold());
    twoLines.setGeometry(0, 0, 160, 2 * QFontMetrics(twoLines.font()).lineSpacing() + 2);
    const qreal before = twoLines.font().pointSizeF();
    Fonts::fitText(&twoLines);
    QCOMPARE(twoLines.font().pointSizeF(), before);
}

void tst_Ui::twipsFollowTheScreen()
{
    const double dpi = Twips::pixelsPerInch();
    QVERIFY(dpi > 0);
    QCOMPARE(Twips::toPixels(1440), qRound(dpi));
    QCOMPARE(Twips::fromPixels(Twips::toPixels(7050)), Twips::toPixels(7050) * 1440.0 / dpi);
    QCOMPARE(Twips::rect(15, 30, 1440, 720).topLeft(), QPoint(Twips::toPixels(15), Twips::toPixels(30)));
}

void tst_Ui::messagesTakeTheProgramsTitle()
{
    Messages messages;
    sys::ScopedServices services({nullptr, &messages});
    Program::setTitle(QStringLiteral("09:41:07:  CLIP"));
    Program::showMessage(QStringLiteral("said"));
    Program::showMessage(QStringLiteral("warned"), QStringLiteral("Quillpad Warning!"),
                         sys::MessageIcon::Exclamation);
    QCOMPARE(messages.seen, (QStringList{"09:41:07:  CLIP|said", "Quillpad Warning!|warned"}));
}

QTEST_MAIN(tst_Ui)
#include "tst_ui.moc"
