#include "ActiveControl.h"

#include "text/TextView.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace ActiveControl {

namespace {

// A text document separates its paragraphs with U+2029; the program's text
// has "\n" there.
QString fromDocumentText(QString text)
{
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

// Editable combo boxes and spin boxes keep their text in a line edit.
QLineEdit *lineEditOf(QWidget *control)
{
    if (auto *lineEdit = qobject_cast<QLineEdit *>(control))
        return lineEdit;
    if (auto *combo = qobject_cast<QComboBox *>(control))
        return combo->isEditable() ? combo->lineEdit() : nullptr;
    if (auto *spin = qobject_cast<QAbstractSpinBox *>(control))
        return spin->findChild<QLineEdit *>();
    return nullptr;
}

} // namespace

QWidget *current()
{
    QWidget *window = QApplication::activeWindow();
    return window ? window->focusWidget() : nullptr;
}

bool readSelText(QWidget *control, QString *text)
{
    if (!control)
        return false;
    if (auto *view = qobject_cast<TextView *>(control)) {
        *text = view->selectedText();
        return true;
    }
    if (auto *plain = qobject_cast<QPlainTextEdit *>(control)) {
        *text = fromDocumentText(plain->textCursor().selectedText());
        return true;
    }
    if (auto *rich = qobject_cast<QTextEdit *>(control)) {
        *text = fromDocumentText(rich->textCursor().selectedText());
        return true;
    }
    if (QLineEdit *lineEdit = lineEditOf(control)) {
        *text = lineEdit->selectedText();
        return true;
    }
    return false;
}

bool writeSelText(QWidget *control, const QString &text)
{
    if (!control)
        return false;
    if (auto *view = qobject_cast<TextView *>(control))
        return view->insertText(text); // refused, unchanged, past its capacity
    if (auto *plain = qobject_cast<QPlainTextEdit *>(control)) {
        plain->insertPlainText(text);
        return true;
    }
    if (auto *rich = qobject_cast<QTextEdit *>(control)) {
        rich->insertPlainText(text);
        return true;
    }
    if (QLineEdit *lineEdit = lineEditOf(control)) {
        lineEdit->insert(text);
        return true;
    }
    return false;
}

bool readSelText(QString *text)
{
    return readSelText(current(), text);
}

bool writeSelText(const QString &text)
{
    return writeSelText(current(), text);
}

} // namespace ActiveControl
