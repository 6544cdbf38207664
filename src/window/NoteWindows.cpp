#include "NoteWindows.h"

#include "CWindow.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>
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
    if (shown())
        return true;
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (shown() || !watched)
            loop.quit();
    });
    look.start(LookEveryMs);
    QTimer::singleShot(ShownWithinMs, &loop, &QEventLoop::quit);
    loop.exec();
    return shown();
}

} // namespace NoteWindows
