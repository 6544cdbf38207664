#include "TextFile.h"

#include "PosixFiles.h"
#include "SafeSave.h"
#include "system/FileNames.h"
#include "system/Memory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace TextFile {

using TextCodec::Format;

namespace {

std::atomic<qint64> s_sizeLimit{0};

QString tr(const char *text)
{
    return QCoreApplication::translate("TextFile", text);
}

#ifdef Q_OS_UNIX
QString notARegularFile(mode_t mode)
{
    if (S_ISDIR(mode))
        return tr("It is a folder, not a file.");
    if (S_ISFIFO(mode))
        return tr("It is a named pipe (FIFO), not a regular file.");
    if (S_ISCHR(mode))
        return tr("It is a character device, not a regular file.");
    if (S_ISBLK(mode))
        return tr("It is a block device, not a regular file.");
    if (S_ISSOCK(mode))
        return tr("It is a socket, not a regular file.");
    return tr("It is not a regular file.");
}
#endif

QString megabytes(qint64 bytes)
{
    return QString::number((bytes + (1 << 20) - 1) >> 20);
}

// Why a file of size bytes cannot be held, or nothing.
QString tooLarge(qint64 size)
{
    const qint64 limit = s_sizeLimit.load();
    if (limit > 0 && size > limit)
        return tr("The file is too large to open: %1 MB, more than the %2 MB allowed.")
            .arg(megabytes(size), megabytes(limit));
    // Every byte may become a character, and positions in the text are ints.
    if (size > TextStore::MaxLength)
        return tr("The file is too large to open: %1 MB, more than the %2 MB of text the note can hold.")
            .arg(megabytes(size), megabytes(TextStore::MaxLength));
    // Two bytes a character, and a little for the line index.
    const qint64 needed = size * 2 + size / 8;
    const qint64 available = Memory::available();
    if (available >= 0 && needed > available)
        return tr("The file is too large to open: %1 MB would need %2 MB of memory, and %3 MB are available.")
            .arg(megabytes(size), megabytes(needed), megabytes(available));
    return QString();
}

// Decodes the open file, handing its text on to deliver, and telling control
// how far it has come.
void decodeFile(QIODevice &file, qint64 size, ReadControl *control, const TextCodec::Deliver &deliver,
                ReadResult &result)
{
    auto pieceRead = [control](qint64 bytesSoFar) {
        if (!control)
            return true;
        control->bytesDone = bytesSoFar;
        if (control->pauseMs > 0)
            QThread::msleep(control->pauseMs);
        return !control->cancel.load(std::memory_order_relaxed);
    };
    switch (TextCodec::decodeInPieces(file, size, pieceRead, deliver, &result.format)) {
    case TextCodec::Decoded::Done:
        result.ok = true;
        break;
    case TextCodec::Decoded::Stopped:
        result.cancelled = true;
        break;
    case TextCodec::Decoded::Failed:
        result.error = file.errorString();
        break;
    }
}

} // namespace

void setSizeLimit(qint64 bytes)
{
    s_sizeLimit = bytes;
}

ReadResult read(const QString &path, ReadControl *control)
{
    TextStore whole;
    ReadResult result = read(path, control, [&whole](TextStore &&piece, bool first) {
        if (first)
            whole = std::move(piece);
        else
            whole.append(std::move(piece));
        return true;
    });
    if (result.ok)
        result.text = std::move(whole);
    return result;
}

ReadResult read(const QString &path, ReadControl *control, const TextCodec::Deliver &deliver)
{
    ReadResult result;
    QFile file;
    qint64 size = 0;
#ifdef Q_OS_UNIX
    // Opened without waiting, so that a FIFO with no writer cannot block;
    // then whatever is not a regular file is turned away.
    PosixFiles::Fd fd(::open(FileNames::encode(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status{};
    if (!fd.valid() || ::fstat(fd.get(), &status) != 0) {
        result.error = qt_error_string(errno);
        return result;
    }
    if (!S_ISREG(status.st_mode)) {
        result.error = notARegularFile(status.st_mode);
        return result;
    }
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        result.error = file.errorString();
        return result;
    }
    fd.release(); // the file closes it now
    size = status.st_size;
#else
    const QFileInfo info(path);
    if (info.isDir()) {
        result.error = tr("It is a folder, not a file.");
        return result;
    }
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    size = file.size();
#endif
    if (const QString why = tooLarge(size); !why.isEmpty()) {
        result.error = why;
        return result;
    }
    if (control)
        control->bytesTotal = size;
    try {
        decodeFile(file, size, control, deliver, result);
    } catch (const std::bad_alloc &) {
        result = ReadResult();
        result.error = tr("There is not enough memory to hold the file's text.");
    } catch (const std::length_error &) {
        result = ReadResult();
        result.error = tooLarge(TextStore::MaxLength + 1);
    }
    return result;
}

QString readFailureMessage(const QString &path, const QString &reason)
{
    return tr("Could not open \"%1\":\n%2").arg(FileNames::display(QDir::toNativeSeparators(path)), reason);
}

QString writeFailureMessage(const QString &path, const QString &reason)
{
    return tr("Could not save \"%1\":\n%2").arg(FileNames::display(QDir::toNativeSeparators(path)), reason);
}

bool save(const QString &path, const TextStore &text, const Format &format, Format *used, QString *error)
{
    const Format actual = TextCodec::savedFormat(text, format);
    if (used)
        *used = actual;
    return SafeSave::write(path, [&](const SafeSave::Put &put) {
        return TextCodec::encode(text, actual, format.lineBreak, put);
    }, error);
}

bool write(const QString &path, const QByteArray &bytes, QString *error)
{
    return SafeSave::write(path, [&bytes](const SafeSave::Put &put) { return put(bytes.constData(), bytes.size()); },
                           error);
}

} // namespace TextFile
