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
        auto cancel = [this, &loop] {
            if (m_cancelled)
                return;
            m_cancelled = true;
            if (m_cancel)
                m_cancel();
            loop.quit();
        };
        const std::unique_ptr<QProgressDialog> dialog = makeDialog(m_parent, m_label, m_objectName, cancel);
        QProgressDialog &progress = *dialog;
        auto show = [this, &progress] {
            if (m_progress < 0) {
                progress.setRange(0, 0); // busy: how far cannot be told
            } else if (progress.value() != m_progress || progress.maximum() == 0) {
                progress.setRange(0, 1000);
                progress.setValue(m_progress);
            }
        };
        show();
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

std::unique_ptr<QProgressDialog> ProgressWait::makeDialog(QWidget *parent, const QString &label,
                                                          const QString &objectName,
                                                          const std::function<void()> &cancel)
{
    auto dialog = std::make_unique<QProgressDialog>(label, QCoreApplication::translate("ProgressWait", "Cancel"), 0,
                                                    1000, parent);
    dialog->setObjectName(objectName);
    if (parent)
        dialog->setWindowTitle(parent->window()->windowTitle());
    dialog->setMinimumDuration(0);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    QObject::connect(dialog.get(), &QProgressDialog::canceled, dialog.get(), cancel);
    QObject::connect(dialog.get(), &QDialog::rejected, dialog.get(), cancel);
    return dialog;
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
