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
    // Each service given replaces the one in use; the others stay.
    auto replace = [](auto *&current, auto *given) {
        if (given)
            current = given;
    };
    Services &current = services();
    replace(current.clipboard, replacement.clipboard);
    replace(current.messages, replacement.messages);
    replace(current.fileDialogs, replacement.fileDialogs);
    replace(current.printer, replacement.printer);
    replace(current.modal, replacement.modal);
    replace(current.windowSystem, replacement.windowSystem);
}

ScopedServices::~ScopedServices()
{
    services() = m_saved;
}

} // namespace sys
