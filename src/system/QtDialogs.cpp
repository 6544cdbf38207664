#include "QtDialogs.h"

#include <QDialog>
#include <QMessageBox>

namespace sys {

void QtMessageBoxes::show(QWidget *parent, const QString &text, const QString &title,
                          MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    title, text, QMessageBox::Ok, parent);
    box.exec();
}

void QtModalRunner::run(QDialog &dialog)
{
    dialog.exec();
}

} // namespace sys
