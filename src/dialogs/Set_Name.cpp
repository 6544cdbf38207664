#include "Set_Name.h"

#include "ui/Caption.h"
#include "ui/Fonts.h"
#include "ui/NoIcon.h"
#include "ui/Program.h"
#include "ui/Twips.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <limits>

Set_Name::Set_Name(QWidget *parent)
    : PlainDialog(parent)
{
    setObjectName(QStringLiteral("Set_Name"));
    setWindowTitle(tr("Set Clip Window Name"));
    setWindowIcon(noIcon());
    setModal(true);
    setFont(Fonts::sansSerifBold());
    setFixedSize(Twips::toPixels(4950, 1515));

    m_label = new QLabel(tr("Enter New Window Name:"), this);
    m_label->setObjectName(QStringLiteral("Label1"));
    m_label->setGeometry(Twips::rect(120, 120, 4695, 255));
    Fonts::fitText(m_label);

    m_input = new QLineEdit(this);
    m_input->setObjectName(QStringLiteral("Input_Name"));
    // The field has no maximum of its own (a line edit's is 32767): a name
    // pasted in is taken whole. Only typing is held to its limit.
    m_input->setMaxLength(std::numeric_limits<int>::max());
    m_input->setGeometry(Twips::rect(120, 450, 4695, 375));
    QPalette p = m_input->palette();
    p.setColor(QPalette::Base, QColor(224, 224, 224));
    p.setColor(QPalette::Text, QColor(0, 0, 0));
    m_input->setPalette(p);
    m_input->installEventFilter(this);
    // A name keeps to one line, as the field shows it: a line break or a
    // tab pasted in becomes a blank, and the caption is what the field shows.
    connect(m_input, &QLineEdit::textChanged, this, [this](const QString &text) {
        const QString line = oneLine(text);
        if (line == text)
            return;
        const int cursor = m_input->cursorPosition() - int(text.size() - line.size());
        m_input->setText(line);
        m_input->setCursorPosition(qMax(0, cursor));
    });

    m_okay = new QPushButton(tr("Okay"), this);
    m_okay->setObjectName(QStringLiteral("Command1"));
    m_okay->setGeometry(Twips::rect(120, 960, 975, 375));

    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("Command2"));
    m_cancel->setGeometry(Twips::rect(3840, 960, 975, 375));

    // Enter belongs to the name field, Escape to nobody.
    neverDefault({m_okay, m_cancel});
    connect(m_okay, &QPushButton::clicked, this, &Set_Name::Command1_Click);
    connect(m_cancel, &QPushButton::clicked, this, &Set_Name::Command2_Click);

    setTabOrder(m_input, m_okay);
    setTabOrder(m_okay, m_cancel);
    m_input->setFocus();

    Form_Load();
}

void Set_Name::Form_Load()
{
    const QWidget *note = Program::noteWindow();
    const QString caption = note ? note->windowTitle() : QString();
    if (caption.endsWith(Caption::Suffix, Qt::CaseSensitive))
        m_input->setText(caption.first(caption.size() - Caption::Suffix.size()));
    else
        m_input->setText(caption);
}

QString Set_Name::oneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    for (QChar &c : text) {
        if (c == u'\n' || c == u'\r' || c == u'\t' || c == u'\v' || c == u'\f' || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            c = u' ';
    }
    return text;
}

void Set_Name::Input_Name_GotFocus()
{
    m_input->setSelection(0, int(m_input->text().size()));
}

void Set_Name::Input_Name_KeyDown(int keyCode)
{
    if (keyCode == 13)
        rename(true);
}

int Set_Name::Input_Name_KeyPress(int keyAscii)
{
    if (m_input->text().size() > TypingLimit && keyAscii != 8)
        return 0;
    return keyAscii;
}

void Set_Name::Command1_Click()
{
    rename(false);
}

void Set_Name::Command2_Click()
{
    reject();
}

void Set_Name::rename(bool alsoTitle)
{
    if (QWidget *note = Program::noteWindow()) {
        note->setWindowTitle(m_input->text() + Caption::Suffix);
        if (alsoTitle)
            Program::setTitle(note->windowTitle());
    }
    accept();
}

int Set_Name::typedCharacter(const QKeyEvent &key)
{
    switch (key.key()) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Insert:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 0;
    default:
        break;
    }
    const Qt::KeyboardModifiers mods = key.modifiers();
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier)) {
        if (key.key() >= Qt::Key_A && key.key() <= Qt::Key_Z)
            return key.key() - Qt::Key_A + 1;
        if (key.key() >= Qt::Key_BracketLeft && key.key() <= Qt::Key_Underscore)
            return key.key() - Qt::Key_BracketLeft + 27;
    }
    const QString text = key.text();
    return text.isEmpty() ? 0 : text.at(0).unicode();
}

bool Set_Name::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_input) {
        switch (event->type()) {
        case QEvent::FocusIn:
            Input_Name_GotFocus();
            break;
        case QEvent::KeyPress: {
            const auto *key = static_cast<QKeyEvent *>(event);
            // Enter is acted on as it goes down, whatever the modifiers, so
            // the typing limit never blocks it.
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                Input_Name_KeyDown(13);
                return true;
            }
            const int typed = typedCharacter(*key);
            if (typed != 0 && Input_Name_KeyPress(typed) == 0)
                return true; // discarded
            break;
        }
        case QEvent::InputMethod: {
            // Text composed by an input method is typed text too.
            const auto *input = static_cast<QInputMethodEvent *>(event);
            if (!input->commitString().isEmpty() && Input_Name_KeyPress(input->commitString().at(0).unicode()) == 0)
                return true;
            break;
        }
        default:
            break;
        }
    }
    return PlainDialog::eventFilter(watched, event);
}
