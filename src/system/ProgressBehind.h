#pragma once
// Work that goes on behind the window, the window taking input all along: a
// file read in while the note shows what has come of it. Past half a second
// a progress window shows beside it, not taking the keyboard, with a
// Cancel. Whatever needs the work's end (a command that acts on the whole
// text) waits for it from inside the wait, as ProgressWait does: keys and
// clicks wait at first, then go to the progress window alone.

#include "ProgressWait.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

class QEventLoop;
class QProgressDialog;
class QWidget;

namespace sys {

class ProgressBehind
{
public:
    using Outcome = ProgressWait::Outcome;

    // label: what the progress window says; objectName: the window's name.
    ProgressBehind(QWidget *parent, const QString &label, const QString &objectName);
    ~ProgressBehind();
    ProgressBehind(const ProgressBehind &) = delete;
    ProgressBehind &operator=(const ProgressBehind &) = delete;

    // From the UI thread: how far (0 to 1000), and done.
    void setProgress(int permille) { m_progress = qBound(0, permille, 1000); }
    void finish();
    // Called (from the UI thread) when the user chooses Cancel.
    void onCancel(std::function<void()> cancel) { m_cancel = std::move(cancel); }

    // Runs the event loop until the work is finished, cancelled or the
    // program ends; every window takes input meanwhile.
    Outcome wait();
    // The same from inside wait() (from an event handler), input held.
    Outcome waitHere();

private:
    // holding: for a wait that holds input, which the window then takes.
    void showProgress(bool holding);
    void cancel();
    void quit(std::vector<QEventLoop *> &loops);

    QWidget *m_parent;
    QString m_label;
    QString m_objectName;
    std::function<void()> m_cancel;
    std::unique_ptr<QProgressDialog> m_dialog;
    QTimer m_quiet;
    QTimer m_tick;
    std::vector<QEventLoop *> m_waiting; // wait()
    std::vector<QEventLoop *> m_holding; // waitHere(), innermost last
    int m_progress = 0;
    bool m_finished = false;
    bool m_cancelled = false;
};

} // namespace sys
