#include "QtClipboardReader.h"

#include "WaitCursor.h"

#include <QGuiApplication>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace sys {

using SelectionTransfer::Outcome;

namespace {

// How long start-up waits for the compositor to report the clipboard.
constexpr int ReportWaitMs = 2000;

// Listens, while Qt reads the clipboard, for Qt's own word that the holder
// did not answer in time (its Wayland clipboard then hands back "" as if
// nothing were there).
class AnswerWatch
{
public:
    // Runs read; false where Qt said its holder did not answer.
    static bool read(const std::function<void()> &read)
    {
        s_timedOut = false;
        s_previous = qInstallMessageHandler(&listen);
        read();
        qInstallMessageHandler(s_previous);
        return !s_timedOut;
    }

private:
    static void listen(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (message.contains(QLatin1String("timeout reading from pipe")))
            s_timedOut = true;
        if (s_previous)
            s_previous(type, context, message);
    }
    static inline bool s_timedOut = false;
    static inline QtMessageHandler s_previous = nullptr;
};

} // namespace

Outcome QtClipboardReader::read(QString *text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return Outcome::Unavailable;
    if (m_readsOnlyWithFocus && !waitForKeyboardFocus())
        return Outcome::NotFocused;
    const WaitCursor waiting;
    if (AnswerWatch::read([&] { *text = clipboard->text(m_mode); }))
        return Outcome::Text;
    text->clear();
    return Outcome::NoAnswer;
}

bool QtClipboardReader::waitUntilReadable(QWidget *window)
{
    if (!m_readsOnlyWithFocus)
        return true;
    // Qt reports the compositor's offer, which comes with the focus, as a
    // change of the clipboard.
    QPointer<QWidget> note = window;
    bool reported = false;
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, note, [&] { reported = true; });
    return waitShowingCursor([&] { return !note || (reported && note->isActiveWindow()); }, ReportWaitMs) && note;
}

} // namespace sys
