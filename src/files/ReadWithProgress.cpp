#include "ReadWithProgress.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <atomic>

namespace ReadWithProgress {

namespace {

// The reading shows its progress only when it takes longer than this.
constexpr int QuietMs = 500;

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
    QThread *reader = QThread::create([&] { result = TextFile::read(path, &control); });
    QEventLoop loop;
    QObject::connect(reader, &QThread::finished, &loop, &QEventLoop::quit);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    reader->start();

    // First a quiet wait: the window paints, keys and clicks wait.
    QTimer quiet;
    quiet.setSingleShot(true);
    QObject::connect(&quiet, &QTimer::timeout, &loop, &QEventLoop::quit);
    quiet.start(QuietMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    // A loop left before its time, the reading not done: the program is ending.
    bool ending = !reader->isFinished() && quiet.isActive();

    if (!reader->isFinished() && !ending) {
        // Then the progress, with a Cancel that leaves the note as it was.
        QProgressDialog progress(QCoreApplication::translate("ReadWithProgress", "Reading \"%1\"...")
                                     .arg(QDir::toNativeSeparators(path)),
                                 QCoreApplication::translate("ReadWithProgress", "Cancel"), 0, 1000, parent);
        progress.setObjectName(QStringLiteral("reading_progress"));
        progress.setWindowModality(Qt::ApplicationModal);
        progress.setMinimumDuration(0);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        QObject::connect(&progress, &QProgressDialog::canceled, [&control] { control.cancel = true; });
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 total = control.bytesTotal.load();
            if (total > 0)
                progress.setValue(int(qMin<qint64>(1000, control.bytesDone.load() * 1000 / total)));
        });
        tick.start(100);
        progress.show();
        QGuiApplication::restoreOverrideCursor();
        if (!reader->isFinished())
            loop.exec();
        ending = !reader->isFinished() && !control.cancel;
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    if (ending)
        control.cancel = true;
    reader->wait();
    delete reader;
    QGuiApplication::restoreOverrideCursor();
    return result;
}

} // namespace ReadWithProgress
