#include "ReadWithProgress.h"

#include "system/FileNames.h"
#include "system/ProgressBehind.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace ReadWithProgress {

namespace {

std::atomic<int> s_pause{0};
Reader s_reader;

QString translated(const char *text)
{
    return QCoreApplication::translate("ReadWithProgress", text);
}

// What the reading thread and the note share. The thread holds it too, so
// that a thread left behind never touches what is gone.
struct Shared
{
    TextFile::ReadControl control;
    std::mutex mutex;
    std::deque<std::pair<TextStore, bool>> pieces; // decoded, not yet handed on
    std::optional<TextFile::ReadResult> result;    // once the thread is done
    QObject *wake = nullptr;                       // told of each; none once the note stops listening

    void tellNote()
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (wake)
            QMetaObject::invokeMethod(wake, "deliver", Qt::QueuedConnection);
    }
};

// One read() going on: hands the note what the thread decoded, and ends it.
class Reading : public QObject
{
    Q_OBJECT

public:
    Reading(QWidget *parent, const QString &path, const Receiver &receiver)
        : m_shared(std::make_shared<Shared>())
        , m_receiver(receiver)
        , m_wait(parent, translated("Reading \"%1\"...").arg(FileNames::display(QDir::toNativeSeparators(path))),
                 QStringLiteral("reading_progress"))
    {
        m_shared->control.pauseMs = s_pause.load();
        m_shared->wake = this;
        m_wait.onCancel([this] { end(cancelled()); });
        connect(&m_tick, &QTimer::timeout, this, [this] {
            const qint64 total = m_shared->control.bytesTotal.load();
            if (total > 0)
                m_wait.setProgress(int(qMin<qint64>(1000, m_shared->control.bytesDone.load() * 1000 / total)));
        });
    }
    ~Reading() override
    {
        // The thread, which may sit in the system's read() for ever, is not
        // waited for; nothing it decodes from now on reaches anyone.
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->control.cancel = true;
        m_shared->wake = nullptr;
        m_shared->pieces.clear();
    }

    TextFile::ReadResult run(const QString &path)
    {
        const Reader reader = s_reader ? s_reader : Reader([](const QString &p, TextFile::ReadControl *c,
                                                              const TextCodec::Deliver &d) {
            return TextFile::read(p, c, d);
        });
        std::shared_ptr<Shared> shared = m_shared;
        QThread *thread = QThread::create([shared, reader, path] {
            const TextCodec::Deliver deliver = [&shared](TextStore &&piece, bool first) {
                {
                    const std::lock_guard<std::mutex> lock(shared->mutex);
                    if (shared->control.cancel)
                        return false;
                    shared->pieces.emplace_back(std::move(piece), first);
                }
                shared->tellNote();
                return true;
            };
            TextFile::ReadResult result = reader(path, &shared->control, deliver);
            {
                const std::lock_guard<std::mutex> lock(shared->mutex);
                shared->result = std::move(result);
            }
            shared->tellNote();
        });
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->start();
        m_tick.start(100);
        if (m_wait.wait() == sys::ProgressWait::Outcome::Ending)
            end(cancelled()); // the program is ending: nothing half-read stays
        return std::move(m_result);
    }

    // From inside run(): until the end, input held.
    bool waitUntilRead()
    {
        if (!m_ended)
            m_wait.waitHere();
        return m_ended && m_result.ok;
    }

    Q_INVOKABLE void deliver()
    {
        std::deque<std::pair<TextStore, bool>> pieces;
        std::optional<TextFile::ReadResult> result;
        {
            const std::lock_guard<std::mutex> lock(m_shared->mutex);
            pieces.swap(m_shared->pieces);
            result.swap(m_shared->result); // set only after the last piece
        }
        for (auto &[piece, first] : pieces) {
            if (m_ended)
                return;
            try {
                m_receiver.piece(std::move(piece), first);
            } catch (const std::bad_alloc &) {
                TextFile::ReadResult failed;
                failed.error = translated("There is not enough memory to hold the file's text.");
                end(std::move(failed));
                return;
            }
        }
        if (result && !m_ended)
            end(std::move(*result));
    }

private:
    static TextFile::ReadResult cancelled()
    {
        TextFile::ReadResult result;
        result.cancelled = true;
        return result;
    }

    void end(TextFile::ReadResult &&result)
    {
        if (m_ended)
            return;
        m_ended = true;
        m_result = std::move(result);
        {
            const std::lock_guard<std::mutex> lock(m_shared->mutex);
            m_shared->control.cancel = !m_result.ok;
            m_shared->pieces.clear();
        }
        m_tick.stop();
        if (m_receiver.ended)
            m_receiver.ended(m_result);
        m_wait.finish();
    }

    std::shared_ptr<Shared> m_shared;
    Receiver m_receiver;
    sys::ProgressBehind m_wait;
    QTimer m_tick;
    TextFile::ReadResult m_result;
    bool m_ended = false;
};

Reading *s_current = nullptr;

} // namespace

void setPauseForTesting(int milliseconds)
{
    s_pause = milliseconds;
}

void setReaderForTesting(Reader reader)
{
    s_reader = std::move(reader);
}

TextFile::ReadResult read(QWidget *parent, const QString &path, const Receiver &receiver)
{
    Reading reading(parent, path, receiver);
    Reading *const outer = std::exchange(s_current, &reading);
    TextFile::ReadResult result = reading.run(path);
    s_current = outer;
    return result;
}

bool waitUntilRead()
{
    return !s_current || s_current->waitUntilRead();
}

} // namespace ReadWithProgress

#include "ReadWithProgress.moc"
