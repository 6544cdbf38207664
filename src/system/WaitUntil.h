#pragma once
// Waiting for a state, never for a time: the program's events go on (the
// window paints) while ready() is asked every lookEveryMs, up to waitMs.

#include <QEventLoop>

#include <functional>

namespace sys {

// Whether ready() said so by the end. flags are the event loop's: where they
// exclude user input, keys and clicks wait until it is over.
bool waitUntil(const std::function<bool()> &ready, int waitMs,
               QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents, int lookEveryMs = 10);

} // namespace sys
