#include "PlainDialog.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>

PlainDialog::PlainDialog(QWidget *parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
{
}

void PlainDialog::neverDefault(std::initializer_list<QPushButton *> buttons)
{
    for (QPushButton *button : buttons) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
}

void PlainDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // No default button: Enter presses the button that has the focus
        // (as Space does) and no other. Fields that act on Enter take it
        // before it comes here.
        auto *button = qobject_cast<QPushButton *>(focusWidget());
        if (button && button->isEnabled())
            button->click();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

namespace {

constexpr Qt::WindowStates NotForAFixedDialog = Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen;

} // namespace

void PlainDialog::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & NotForAFixedDialog))
        QTimer::singleShot(0, this, [this] { putBack(); });
}

void PlainDialog::putBack()
{
    if (!(windowState() & NotForAFixedDialog))
        return;
    const bool wasMinimized = windowState() & Qt::WindowMinimized;
    setWindowState(windowState() & ~NotForAFixedDialog);
    if (wasMinimized) {
        // Shown again by the program rather than the user, it takes the
        // keyboard itself: some window managers (kwin) leave it without.
        raise();
        activateWindow();
    }
}
