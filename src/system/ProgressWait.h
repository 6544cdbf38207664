#pragma once
// Waiting for work that may take a while (reading a file, printing, a large
// clipboard transfer) without stopping the window. The work runs on its own
// thread, or in slices from the event loop, and says how far it has come and
// when it is over. The window keeps painting all along; for the first half
// second keys and clicks wait and the wait cursor shows, then a progress
// window offers Cancel, and the note's own windows take no input meanwhile
// (but for a close request, which ends the wait as the program ends).

#include <QString>
#include <functional>
#include <memory>

class QEventLoop;
class QProgressDialog;
class QWidget;

namespace sys {

class ProgressWait
{
public:
    enum class Outcome {
        Finished,  // finish() was called
        Cancelled, // the user chose Cancel
        Ending,    // the program is ending
    };

    // label: what the progress window says; objectName: the window's name.
    ProgressWait(QWidget *parent, const QString &label, const QString &objectName);
    ~ProgressWait();
    ProgressWait(const ProgressWait &) = delete;
    ProgressWait &operator=(const ProgressWait &) = delete;

    // From the UI thread, while wait() runs: how far (0 to 1000, or -1
    // where it cannot be told), and done.
    void setProgress(int permille);
    void finish();
    // Called (from the UI thread) when the user chooses Cancel.
    void onCancel(std::function<void()> cancel) { m_cancel = std::move(cancel); }

    // Runs the event loop until the work is finished, cancelled or the
    // program ends.
    Outcome wait();
    // Runs work on a thread of its own and waits for it as wait() does. A
    // thread cancelled, or left as the program ends, is not waited for (it
    // may sit in the system for good): what it shares with the caller must be
    // held by both, and it goes when it ends.
    Outcome run(std::function<void()> work);

    // How long the wait stays quiet before the progress window shows.
    static constexpr int QuietMs = 500;

    // The progress window of a wait, from 0 to 1000, titled as parent's
    // window; its Cancel button, Escape and its close box all call cancel.
    static std::unique_ptr<QProgressDialog> makeDialog(QWidget *parent, const QString &label,
                                                       const QString &objectName, const std::function<void()> &cancel);

private:
    QWidget *m_parent;
    QString m_label;
    QString m_objectName;
    std::function<void()> m_cancel;
    QEventLoop *m_loop = nullptr;
    int m_progress = 0;
    bool m_finished = false;
    bool m_cancelled = false;
};

} // namespace sys
