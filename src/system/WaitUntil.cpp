#include "WaitUntil.h"

#include <QTimer>

namespace sys {

bool waitUntil(const std::function<bool()> &ready, int waitMs, QEventLoop::ProcessEventsFlags flags,
               int lookEveryMs)
{
    if (ready())
        return true;
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (ready())
            loop.quit();
    });
    look.start(lookEveryMs);
    QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
    loop.exec(flags);
    return ready();
}

} // namespace sys
