#pragma once
// Shared by the benchmark program and its baseline: the clock, the "shown and
// idle" probe, peak memory, and the report, one "name value" line each.

#include <QAbstractScrollArea>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QClipboard>
#include <QGuiApplication>
#include <QString>
#include <QCoreApplication>
#include <QElapsedTimer>
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

// One typed character at the very end of the text, as the keyboard sends it.
inline void typeAtEnd(QPlainTextEdit &edit)
{
    edit.moveCursor(QTextCursor::End);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QCoreApplication::sendEvent(&edit, &press);
    QCoreApplication::sendEvent(&edit, &release);
}

// Calls done once the view has painted for the first time and the event
// queue has run dry: the window is shown and idle.
class IdleProbe : public QObject
{
public:
    IdleProbe(QAbstractScrollArea *view, std::function<void()> done)
        : m_done(std::move(done))
    {
        view->viewport()->installEventFilter(this);
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
