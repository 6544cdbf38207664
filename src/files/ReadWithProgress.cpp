#include "ReadWithProgress.h"

#include "system/ProgressWait.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>
#include <QTimer>

#include <atomic>

namespace ReadWithProgress {

namespace {

std::atomic<int> s_pause{0};

} // namespace

void setPauseForTesting(int milliseconds)
{
    s_pause = milliseconds;
}

TextFile::ReadResult read(QWidget *parent, const QString &path)
{
    TextFile::ReadControl control;
    control.pauseMs = s_pause.load();
    TextFile::ReadResult result;
    sys::ProgressWait wait(parent,
                           QCoreApplication::translate("ReadWithProgress", "Reading \"%1\"...")
                               .arg(QDir::toNativeSeparators(path)),
                           QStringLiteral("reading_progress"));
    wait.onCancel([&control] { control.cancel = true; });
    QThread *reader = QThread::create([&] { result = TextFile::read(path, &control); });
    QObject::connect(reader, &QThread::finished, reader, [&wait] { wait.finish(); });
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 total = control.bytesTotal.load();
        if (total > 0)
            wait.setProgress(int(qMin<qint64>(1000, control.bytesDone.load() * 1000 / total)));
    });
    tick.start(100);
    reader->start();
    if (wait.wait() == sys::ProgressWait::Outcome::Ending)
        control.cancel = true;
    reader->wait();
    delete reader;
    return result;
}

} // namespace ReadWithProgress
