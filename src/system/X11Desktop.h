#pragma once
// What the X11 desktop's window manager says it can do (_NET_SUPPORTED).

namespace X11Desktop {

// False only where a window manager says what it supports and keeping a
// window above the others (_NET_WM_STATE_ABOVE) is not among it.
bool windowManagerKeepsAbove();

} // namespace X11Desktop
