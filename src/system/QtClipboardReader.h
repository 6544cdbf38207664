#pragma once
// Qt's clipboard as a reader: where no reader of the program's own can be
// had (a compositor that serves only Qt's own data device, as Weston does,
// or a build without one). Qt reads on the window's own thread, a second at
// most for each kind of text, and tells of a holder that did not answer only
// in a warning, which is listened for. Where only the window with the
// keyboard focus may read (Wayland), a note without it does not read at all:
// what Qt kept of the last offer may be stale.

#include "ClipboardReader.h"

#include <QClipboard>

namespace sys {

class QtClipboardReader final : public ClipboardReader
{
public:
    QtClipboardReader(QClipboard::Mode mode, bool readsOnlyWithFocus)
        : m_mode(mode)
        , m_readsOnlyWithFocus(readsOnlyWithFocus)
    {
    }
    SelectionTransfer::Outcome read(QString *text) override;
    bool readsOnlyOnceShown() override { return m_readsOnlyWithFocus; }
    bool waitUntilReadable(QWidget *window) override;

private:
    QClipboard::Mode m_mode;
    bool m_readsOnlyWithFocus;
};

} // namespace sys
