#pragma once
// Shared by the benchmark program and its baseline: the clock, the "shown and
// idle" probe, peak memory, and the report, one "name value" line each.

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QClipboard>
#include <QGuiApplication>
#include <QString>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace bench {

inline QElapsedTimer &clock()
{
    static QElapsedTimer timer;
    return timer;
}

// The command line both programs take: MODE FILE [...] or MODE --clipboard N.
struct Arguments
{
    QString mode;
    QString source;          // the file to start with; empty for a clipboard start
    QStringList rest;        // what follows the source
};

// Reads the arguments and, for a clipboard start, puts N characters on the
// clipboard the way another program would, then starts the clock afresh.
inline Arguments arguments(int argc, char **argv)
{
    Arguments a;
    a.mode = QString::fromLocal8Bit(argv[1]);
    a.source = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i)
        a.rest << QString::fromLocal8Bit(argv[i]);
    if (a.source == QLatin1String("--clipboard")) {
        QGuiApplication::clipboard()->setText(QString(a.rest.value(0).toInt(), u'c'));
        a.source.clear();
        clock().restart();
    }
    return a;
}

inline void report(const char *name, double value)
{
    std::printf("%s %.3f\n", name, value);
    std::fflush(stdout);
}

inline double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0; // ru_maxrss is in kilobytes on Linux
}

// Memory the process holds now, in megabytes, and its peak since the last
// resetPeak() (or since it started, where the system cannot reset it).
inline double statusMegabytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

inline void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// What work adds to the memory the process holds at its peak, in megabytes.
inline double addedMegabytes(const std::function<void()> &work)
{
    const double before = statusMegabytes("VmRSS:");
    resetPeak();
    work();
    return statusMegabytes("VmHWM:") - before;
}

// Milliseconds that work takes, including the repaint it causes.
inline double timed(QAbstractScrollArea *view, const std::function<void()> &work)
{
    QElapsedTimer t;
    t.start();
    work();
    view->viewport()->repaint();
    QCoreApplication::processEvents();
    return t.nsecsElapsed() / 1e6;
}

// A key as the keyboard sends it: press and release.
inline void key(QWidget &target, Qt::Key code, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                const QString &text = QString())
{
    QKeyEvent press(QEvent::KeyPress, code, modifiers, text);
    QKeyEvent release(QEvent::KeyRelease, code, modifiers, text);
    QCoreApplication::sendEvent(&target, &press);
    QCoreApplication::sendEvent(&target, &release);
}

// CPU time this process has used, in milliseconds.
inline double cpuMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The share of one core the process uses while it sits for a few seconds
// with nothing to do, in percent; then done.
inline void measureRest(int seconds, std::function<void()> done)
{
    const double before = cpuMilliseconds();
    QTimer::singleShot(seconds * 1000, [before, seconds, done] {
        report("rest_cpu_percent", (cpuMilliseconds() - before) / (seconds * 10.0));
        done();
    });
}

// The application, telling "first_screen_ms" once a paint that shows what
// firstScreen looks for is done.
class Application : public QApplication
{
public:
    Application(int &argc, char **argv)
        : QApplication(argc, argv)
    {
    }
    std::function<bool(QObject *painted)> firstScreen;

    bool notify(QObject *receiver, QEvent *event) override
    {
        const bool paint = event->type() == QEvent::Paint;
        const bool handled = QApplication::notify(receiver, event);
        if (paint && firstScreen && firstScreen(receiver)) {
            firstScreen = nullptr;
            report("first_screen_ms", clock().nsecsElapsed() / 1e6);
        }
        return handled;
    }
};

// Calls done once the view has painted for the first time and the event
// queue has run dry: the window is shown and idle.
class IdleProbe : public QObject
{
public:
    IdleProbe(QAbstractScrollArea *view, std::function<void()> done)
        : m_done(std::move(done))
    {
        view->viewport()->installEventFilter(this);
        // Where the text came while the view was shown, it has painted
        // already: once more, to see the view finished.
        view->viewport()->update();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_fired) {
            m_fired = true;
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] { m_done(); });
        }
        return false;
    }

private:
    std::function<void()> m_done;
    bool m_fired = false;
};

} // namespace bench
