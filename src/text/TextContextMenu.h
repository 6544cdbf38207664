#pragma once
// The menu a right click on the text opens: undo and redo, the clipboard's
// commands, delete and select all, each offered where it can do something.

class QMenu;
class TextView;

namespace TextContextMenu {

// A new menu, owned by view, whose items act on it.
QMenu *create(TextView *view);

} // namespace TextContextMenu
