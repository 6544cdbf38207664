#include "NoteWindows.h"

#include "CWindow.h"
#include "system/WaitUntil.h"

#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace NoteWindows {

namespace {
constexpr int ShownWithinMs = 3000;
constexpr int LookEveryMs = 20;
} // namespace

void keepWithNote(QWidget &window, const QWidget &note)
{
    CWindow().OnTop(window, note.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

bool waitUntilShown(QWidget &window)
{
    QPointer<QWidget> watched = &window;
    auto shown = [&watched] {
        return watched && watched->windowHandle() && watched->windowHandle()->isExposed();
    };
    sys::waitUntil([&] { return shown() || !watched; }, ShownWithinMs, QEventLoop::AllEvents, LookEveryMs);
    return shown();
}

} // namespace NoteWindows
