#include "ProgressWait.h"

#include "InputOnlyTo.h"
#include "WaitCursor.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace sys {


ProgressWait::ProgressWait(QWidget *parent, const QString &label, const QString &objectName)
    : m_parent(parent)
    , m_label(label)
    , m_objectName(objectName)
{
}

ProgressWait::~ProgressWait() = default;

void ProgressWait::setProgress(int permille)
{
    // Shown by the progress window's own clock: a modal progress dialog
    // handles events as its value changes, and the work must not be called
    // again from inside itself.
    m_progress = qBound(-1, permille, 1000);
}

void ProgressWait::finish()
{
    m_finished = true;
    if (m_loop)
        m_loop->quit();
}

ProgressWait::Outcome ProgressWait::wait()
{
    if (m_finished)
        return Outcome::Finished;
    QEventLoop loop;
    m_loop = &loop;
    bool ending = false;
    {
        // First a quiet wait: the window paints, keys and clicks wait.
        const WaitCursor waiting;
        QTimer quiet;
        quiet.setSingleShot(true);
        QObject::connect(&quiet, &QTimer::timeout, &loop, &QEventLoop::quit);
        quiet.start(QuietMs);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        // A loop left before its time, the work not done: the program is ending.
        ending = !m_finished && quiet.isActive();
    }

    if (!m_finished && !ending) {
        // Then the progress, with a Cancel.
        QProgressDialog progress(m_label, QCoreApplication::translate("ProgressWait", "Cancel"), 0, 1000, m_parent);
        progress.setObjectName(m_objectName);
        if (m_parent)
            progress.setWindowTitle(m_parent->window()->windowTitle());
        progress.setMinimumDuration(0);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        auto show = [this, &progress] {
            if (m_progress < 0) {
                progress.setRange(0, 0); // busy: how far cannot be told
            } else if (progress.value() != m_progress || progress.maximum() == 0) {
                progress.setRange(0, 1000);
                progress.setValue(m_progress);
            }
        };
        show();
        // The Cancel button, Escape and the close box all cancel.
        auto cancel = [this, &loop] {
            if (m_cancelled)
                return;
            m_cancelled = true;
            if (m_cancel)
                m_cancel();
            loop.quit();
        };
        QObject::connect(&progress, &QProgressDialog::canceled, &loop, cancel);
        QObject::connect(&progress, &QDialog::rejected, &loop, cancel);
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &progress, show);
        tick.start(100);
        const InputOnlyTo inputOnly(progress);
        progress.show();
        loop.exec();
        ending = !m_finished && !m_cancelled;
    }
    m_loop = nullptr;
    if (m_finished)
        return Outcome::Finished;
    return ending ? Outcome::Ending : Outcome::Cancelled;
}

ProgressWait::Outcome ProgressWait::run(std::function<void()> work)
{
    QThread *thread = QThread::create(std::move(work));
    // Told through an object of this call's own: once the call is over, no
    // word of the thread reaches it.
    QObject here;
    QObject::connect(thread, &QThread::finished, &here, [this] { finish(); });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
    return wait();
}

} // namespace sys
