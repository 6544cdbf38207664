#include "ProgressBehind.h"

#include "InputOnlyTo.h"
#include "WaitCursor.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QWidget>

namespace sys {

namespace {

// An event loop on the list for as long as it runs.
class Listed
{
public:
    Listed(std::vector<QEventLoop *> &loops, QEventLoop &loop)
        : m_loops(loops)
    {
        m_loops.push_back(&loop);
    }
    ~Listed() { m_loops.pop_back(); }
    Listed(const Listed &) = delete;
    Listed &operator=(const Listed &) = delete;

private:
    std::vector<QEventLoop *> &m_loops;
};

} // namespace

ProgressBehind::ProgressBehind(QWidget *parent, const QString &label, const QString &objectName)
    : m_parent(parent)
    , m_label(label)
    , m_objectName(objectName)
{
    m_quiet.setSingleShot(true);
    QObject::connect(&m_quiet, &QTimer::timeout, [this] { showProgress(!m_holding.empty()); });
    QObject::connect(&m_tick, &QTimer::timeout, [this] {
        if (m_dialog && m_dialog->value() != m_progress)
            m_dialog->setValue(m_progress);
    });
}

ProgressBehind::~ProgressBehind() = default;

void ProgressBehind::finish()
{
    m_finished = true;
    m_quiet.stop();
    quit(m_holding);
    quit(m_waiting);
}

void ProgressBehind::cancel()
{
    if (m_cancelled || m_finished)
        return;
    m_cancelled = true;
    if (m_cancel)
        m_cancel();
    quit(m_holding);
    quit(m_waiting);
}

void ProgressBehind::quit(std::vector<QEventLoop *> &loops)
{
    for (QEventLoop *loop : loops)
        loop->quit();
}

void ProgressBehind::showProgress(bool holding)
{
    if (m_dialog || m_finished || m_cancelled)
        return;
    m_dialog = ProgressWait::makeDialog(m_parent, m_label, m_objectName, [this] { cancel(); });
    m_dialog->setValue(m_progress);
    // Beside a note in use it takes no keyboard (window managers give a new
    // dialog the focus whatever it asks): what the note is doing goes on.
    // For a wait that holds input it is a window like any other.
    const bool beside = !holding;
    m_dialog->setWindowFlag(Qt::WindowDoesNotAcceptFocus, beside);
    m_dialog->setAttribute(Qt::WA_ShowWithoutActivating, beside);
    m_tick.start(100);
    m_dialog->show();
    // A wait that held keys and clicks quietly now hands them to the window.
    quit(m_holding);
}

ProgressBehind::Outcome ProgressBehind::wait()
{
    if (!m_finished && !m_cancelled) {
        if (!m_dialog && !m_quiet.isActive())
            m_quiet.start(ProgressWait::QuietMs);
        QEventLoop loop;
        const Listed listed(m_waiting, loop);
        loop.exec();
    }
    m_quiet.stop();
    m_tick.stop();
    m_dialog.reset();
    if (m_finished)
        return Outcome::Finished;
    return m_cancelled ? Outcome::Cancelled : Outcome::Ending;
}

ProgressBehind::Outcome ProgressBehind::waitHere()
{
    for (;;) {
        if (m_finished)
            return Outcome::Finished;
        if (m_cancelled)
            return Outcome::Cancelled;
        if (m_dialog && m_dialog->testAttribute(Qt::WA_ShowWithoutActivating)) {
            m_dialog.reset(); // shown anew, to take the keyboard
            showProgress(true);
        }
        QEventLoop loop;
        const Listed listed(m_holding, loop);
        const bool quiet = !m_dialog;
        if (quiet) {
            // Keys and clicks wait, the window paints, until the progress shows.
            if (!m_quiet.isActive())
                m_quiet.start(0);
            const WaitCursor waiting;
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        } else {
            m_dialog->activateWindow();
            const InputOnlyTo inputOnly(*m_dialog);
            loop.exec();
        }
        if (!m_finished && !m_cancelled && !(quiet && m_dialog))
            return Outcome::Ending;
    }
}

} // namespace sys
