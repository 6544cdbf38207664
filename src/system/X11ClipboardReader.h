#pragma once
// The X11 reader: a selection asked of its holder on a connection of the
// program's own (X11Selection), on a thread, with progress.

#include "ClipboardReader.h"

namespace sys {

class X11ClipboardReader final : public ClipboardReader
{
public:
    // selection: "CLIPBOARD" or "PRIMARY".
    explicit X11ClipboardReader(const char *selection)
        : m_selection(selection)
    {
    }
    SelectionTransfer::Outcome read(QString *text) override;
    // Through XWayland on a Wayland desktop that hands its clipboard to X
    // only while an X window is active: waits for the focus, then for the
    // clipboard to come.
    bool readsOnlyOnceShown() override;
    bool waitUntilReadable(QWidget *window) override;

private:
    const char *m_selection;
};

} // namespace sys
