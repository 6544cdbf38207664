#include "SystemServices.h"

#include "QtClipboard.h"
#include "QtDialogs.h"
#include "QtFileDialogs.h"
#include "QtPrinter.h"
#include "QtWindowSystem.h"

#include <QCoreApplication>

namespace sys {

QString Clipboard::tooLargeMessage()
{
    return QCoreApplication::translate("Clipboard",
                                       "The clipboard's text is too large to take: it would need more memory than there is.");
}

Services &services()
{
    static QtClipboard clipboard;
    static QtMessageBoxes messages;
    static QtFileDialogs fileDialogs;
    static QtPrinter printer;
    static QtModalRunner modal;
    static QtWindowSystem windowSystem;
    static Services current{&clipboard, &messages, &fileDialogs, &printer, &modal, &windowSystem};
    return current;
}

ScopedServices::ScopedServices(const Services &replacement)
    : m_saved(services())
{
    Services &current = services();
    if (replacement.clipboard)
        current.clipboard = replacement.clipboard;
    if (replacement.messages)
        current.messages = replacement.messages;
    if (replacement.fileDialogs)
        current.fileDialogs = replacement.fileDialogs;
    if (replacement.printer)
        current.printer = replacement.printer;
    if (replacement.modal)
        current.modal = replacement.modal;
    if (replacement.windowSystem)
        current.windowSystem = replacement.windowSystem;
}

ScopedServices::~ScopedServices()
{
    services() = m_saved;
}

} // namespace sys
