#include "Program.h"

#include <QPointer>
#include <QWidget>

namespace Program {

namespace {
QString s_title = QStringLiteral("Quillpad");
QPointer<QWidget> s_noteWindow;
} // namespace

QString title()
{
    return s_title;
}

void setTitle(const QString &title)
{
    s_title = title;
}

QWidget *noteWindow()
{
    return s_noteWindow;
}

void setNoteWindow(QWidget *window)
{
    s_noteWindow = window;
}

void showMessage(const QString &text, const QString &title, sys::MessageIcon icon)
{
    sys::services().messages->show(s_noteWindow, text, title.isEmpty() ? s_title : title, icon);
}

} // namespace Program
