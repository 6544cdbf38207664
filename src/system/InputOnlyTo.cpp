#include "InputOnlyTo.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace sys {

namespace {

bool takesInput(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return event->isInputEvent();
    }
}

} // namespace

InputOnlyTo::InputOnlyTo(QWidget &window)
    : m_window(window)
{
    qApp->installEventFilter(this);
}

InputOnlyTo::~InputOnlyTo()
{
    qApp->removeEventFilter(this);
}

bool InputOnlyTo::eventFilter(QObject *receiver, QEvent *event)
{
    if (!takesInput(event))
        return false;
    if (auto *widget = qobject_cast<QWidget *>(receiver))
        return widget->window() != &m_window;
    if (auto *window = qobject_cast<QWindow *>(receiver))
        return window != m_window.windowHandle();
    return false;
}

} // namespace sys
