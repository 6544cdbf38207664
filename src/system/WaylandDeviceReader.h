#pragma once
// The reader over the program's own Wayland data device, where only the
// window with the keyboard focus may read (mutter): the holder is asked
// afresh each time, the text read on a thread with progress. A note without
// the focus does not read (its device's offer may be one the compositor has
// given up); a device that has not been told what the clipboard holds waits
// for that as start-up does; only the compositor's word makes the clipboard
// empty. A text that comes through as nothing at once is asked of Qt's
// clipboard too, in case the compositor answers only Qt's own device.

#include "ClipboardReader.h"
#include "QtClipboardReader.h"

class WaylandDataDevice;

namespace sys {

class WaylandDeviceReader final : public ClipboardReader
{
public:
    // Where the program has a device of its own; null elsewhere.
    static std::unique_ptr<ClipboardReader> open();
    ~WaylandDeviceReader() override;

    SelectionTransfer::Outcome read(QString *text) override;
    bool readsOnlyOnceShown() override { return true; }
    bool waitUntilReadable(QWidget *window) override;

private:
    explicit WaylandDeviceReader(std::unique_ptr<WaylandDataDevice> device);

    std::unique_ptr<WaylandDataDevice> m_device;
    QtClipboardReader m_qt{QClipboard::Clipboard, true};
};

} // namespace sys
