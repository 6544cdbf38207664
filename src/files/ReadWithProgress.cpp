#include "ReadWithProgress.h"

#include "system/FileNames.h"
#include "system/ProgressWait.h"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <atomic>
#include <memory>

namespace ReadWithProgress {

namespace {

std::atomic<int> s_pause{0};
Reader s_reader;

// What the reading thread and the note share. The thread holds it too, so
// that a thread left behind never touches what is gone.
struct Reading
{
    TextFile::ReadControl control;
    TextFile::ReadResult result;
};

} // namespace

void setPauseForTesting(int milliseconds)
{
    s_pause = milliseconds;
}

void setReaderForTesting(Reader reader)
{
    s_reader = std::move(reader);
}

TextFile::ReadResult read(QWidget *parent, const QString &path)
{
    auto reading = std::make_shared<Reading>();
    reading->control.pauseMs = s_pause.load();
    const Reader reader = s_reader ? s_reader : Reader(&TextFile::read);
    sys::ProgressWait wait(parent,
                           QCoreApplication::translate("ReadWithProgress", "Reading \"%1\"...")
                               .arg(FileNames::display(QDir::toNativeSeparators(path))),
                           QStringLiteral("reading_progress"));
    wait.onCancel([reading] { reading->control.cancel = true; });
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 total = reading->control.bytesTotal.load();
        if (total > 0)
            wait.setProgress(int(qMin<qint64>(1000, reading->control.bytesDone.load() * 1000 / total)));
    });
    tick.start(100);
    if (wait.run([reading, reader, path] { reading->result = reader(path, &reading->control); })
        != sys::ProgressWait::Outcome::Finished) {
        // Cancelled, or the program is ending: nothing half-read reaches the
        // note, and the thread, which may sit in the system's read() for
        // ever, is not waited for. It goes when it ends.
        reading->control.cancel = true;
        TextFile::ReadResult cancelled;
        cancelled.cancelled = true;
        return cancelled;
    }
    return std::move(reading->result); // written before the thread said it was done
}

} // namespace ReadWithProgress
