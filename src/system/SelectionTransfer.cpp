#include "SelectionTransfer.h"

#include <QElapsedTimer>

#include <new>
#include <poll.h>
#include <unistd.h>

namespace SelectionTransfer {

namespace {

// Waits are cut into slices this long, so that cancel is seen at once.
constexpr int SliceMs = 50;
constexpr qsizetype PieceSize = 64 * 1024;

} // namespace

bool withinLimit(Control *control, qint64 total)
{
    if (control)
        control->received = total;
    return !control || control->limit < 0 || total <= control->limit;
}

Outcome readPipe(int fd, int quietMs, Control *control, QByteArray *bytes)
{
    QElapsedTimer quiet;
    quiet.start();
    try {
        QByteArray piece(PieceSize, Qt::Uninitialized);
        for (;;) {
            if (control && control->cancel.load())
                return Outcome::Cancelled;
            const qint64 left = quietMs - quiet.elapsed();
            if (left <= 0)
                return Outcome::NoAnswer;
            pollfd ready{fd, POLLIN, 0};
            const int polled = ::poll(&ready, 1, int(qMin<qint64>(left, SliceMs)));
            if (polled < 0 && errno != EINTR)
                return Outcome::NoAnswer;
            if (polled <= 0)
                continue;
            const ssize_t n = ::read(fd, piece.data(), size_t(piece.size()));
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n < 0)
                return Outcome::NoAnswer;
            if (n == 0)
                return Outcome::Text; // the end
            if (!withinLimit(control, bytes->size() + n))
                return Outcome::TooLarge;
            bytes->append(piece.constData(), n);
            quiet.restart(); // a holder that keeps sending is given its time for each part
        }
    } catch (const std::bad_alloc &) {
        bytes->clear();
        return Outcome::TooLarge;
    }
}

Outcome decode(const QByteArray &bytes, bool latin1, QString *text)
{
    try {
        *text = latin1 ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes);
        return Outcome::Text;
    } catch (const std::bad_alloc &) {
        text->clear();
        return Outcome::TooLarge;
    }
}

SharedPipe sharePipe(int fd)
{
    return SharedPipe(new int(fd), [](const int *owned) {
        ::close(*owned);
        delete owned;
    });
}

Outcome readText(int fd, bool latin1, Control *control, QString *text)
{
    QByteArray bytes;
    const Outcome outcome = readPipe(fd, QuietMs, control, &bytes);
    return outcome == Outcome::Text ? decode(bytes, latin1, text) : outcome;
}

} // namespace SelectionTransfer
