#include "TextContextMenu.h"

#include "TextView.h"

#include <QAction>
#include <QMenu>

namespace TextContextMenu {

QMenu *create(TextView *view)
{
    auto *menu = new QMenu(view);
    menu->setObjectName(QStringLiteral("qt_edit_menu"));
    auto add = [&](const QString &text, const char *name, QKeySequence::StandardKey key, bool enabled,
                   void (TextView::*slot)()) {
        QAction *action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        action->setEnabled(enabled);
        QObject::connect(action, &QAction::triggered, view, slot);
    };
    const TextDocument &document = view->document();
    add(TextView::tr("&Undo"), "edit-undo", QKeySequence::Undo, document.isUndoAvailable(), &TextView::undo);
    add(TextView::tr("&Redo"), "edit-redo", QKeySequence::Redo, document.isRedoAvailable(), &TextView::redo);
    menu->addSeparator();
    add(TextView::tr("Cu&t"), "edit-cut", QKeySequence::Cut, view->hasSelection(), &TextView::cut);
    add(TextView::tr("&Copy"), "edit-copy", QKeySequence::Copy, view->hasSelection(), &TextView::copy);
    // Asking the clipboard whether it holds text could wait on another
    // program; Paste is always offered.
    add(TextView::tr("&Paste"), "edit-paste", QKeySequence::Paste, true, &TextView::paste);
    add(TextView::tr("Delete"), "edit-delete", QKeySequence::UnknownKey, view->hasSelection(),
        &TextView::deleteSelection);
    menu->addSeparator();
    add(TextView::tr("Select All"), "select-all", QKeySequence::SelectAll, view->length() > 0, &TextView::selectAll);
    return menu;
}

} // namespace TextContextMenu
