#include "TextFile.h"

#include "text/TextBuilder.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QThread>

#include <array>
#include <cstring>
#include <optional>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace TextFile {

namespace {

// Windows-1252 from 0x80 to 0x9F. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control characters
// of the same value, so every byte survives a round trip.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char Utf8Bom[] = "\xEF\xBB\xBF";
// A file is read a piece of this size at a time.
constexpr qint64 ChunkSize = 1 << 20;

std::atomic<qint64> s_sizeLimit{0};

QString tr(const char *text)
{
    return QCoreApplication::translate("TextFile", text);
}

enum class Outcome { Done, NotUtf8, Cancelled, Failed };

// How many leading bytes of data end on a whole UTF-8 sequence; the rest
// waits for the next piece.
qsizetype wholeSequences(const char *data, qsizetype size)
{
    qsizetype i = size - 1;
    while (i >= 0 && i > size - 4 && (uchar(data[i]) & 0xC0) == 0x80)
        --i;
    if (i < 0)
        return size;
    const uchar lead = uchar(data[i]);
    const qsizetype need = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
                         : (lead & 0xF8) == 0xF0 ? 4 : 1;
    return size - i < need ? i : size;
}

bool cancelled(const ReadControl *control)
{
    return control && control->cancel.load(std::memory_order_relaxed);
}

void progress(ReadControl *control, qint64 bytes)
{
    if (!control)
        return;
    control->bytesDone.fetch_add(bytes, std::memory_order_relaxed);
    if (control->pauseMs > 0)
        QThread::msleep(control->pauseMs);
}

Outcome readUtf8(QIODevice &in, TextBuilder &builder, ReadControl *control)
{
    QByteArray chunk(ChunkSize + 4, Qt::Uninitialized);
    qsizetype carried = 0;
    // Each piece ends on a whole sequence, so it decodes on its own; a mark
    // at the start of a piece is a character, not a mark.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    for (;;) {
        if (cancelled(control))
            return Outcome::Cancelled;
        const qint64 n = in.read(chunk.data() + carried, ChunkSize);
        if (n < 0)
            return Outcome::Failed;
        const qsizetype have = carried + qsizetype(n);
        const qsizetype whole = n == 0 ? have : wholeSequences(chunk.constData(), have);
        if (whole > 0) {
            auto *out = reinterpret_cast<QChar *>(builder.appendSpace(whole));
            const QChar *end = utf8.appendToBuffer(out, QByteArrayView(chunk.constData(), whole));
            if (utf8.hasError())
                return Outcome::NotUtf8;
            builder.commit(end - out);
        }
        carried = have - whole;
        std::memmove(chunk.data(), chunk.constData() + whole, size_t(carried));
        progress(control, n);
        if (n == 0)
            return Outcome::Done;
    }
}

Outcome readCp1252(QIODevice &in, TextBuilder &builder, ReadControl *control)
{
    QByteArray chunk(ChunkSize, Qt::Uninitialized);
    for (;;) {
        if (cancelled(control))
            return Outcome::Cancelled;
        const qint64 n = in.read(chunk.data(), ChunkSize);
        if (n < 0)
            return Outcome::Failed;
        if (n == 0)
            return Outcome::Done;
        char16_t *out = builder.appendSpace(n);
        for (qint64 i = 0; i < n; ++i) {
            const auto b = uchar(chunk[i]);
            out[i] = (b >= 0x80 && b < 0xA0) ? Cp1252High[b - 0x80] : char16_t(b);
        }
        builder.commit(n);
        progress(control, n);
    }
}

// Decodes all of in: UTF-8 where it is valid throughout, else Windows-1252.
// On success the text and its format are in result.
void decodeDevice(QIODevice &in, qint64 size, ReadControl *control, ReadResult &result)
{
    char head[3] = {};
    const bool bom = in.read(head, 3) == 3 && std::memcmp(head, Utf8Bom, 3) == 0;
    if (!bom)
        in.seek(0);
    std::optional<TextBuilder> builder(std::in_place, size);
    Outcome outcome = readUtf8(in, *builder, control);
    Format format;
    format.encoding = Encoding::Utf8;
    format.byteOrderMark = bom;
    if (outcome == Outcome::NotUtf8) {
        builder.reset(); // its memory goes before the second reading takes its own
        if (control)
            control->bytesDone = 0;
        in.seek(0);
        builder.emplace(size);
        outcome = readCp1252(in, *builder, control);
        format.encoding = Encoding::Windows1252;
        format.byteOrderMark = false;
    }
    switch (outcome) {
    case Outcome::Cancelled:
        result.cancelled = true;
        return;
    case Outcome::Failed:
        result.error = in.errorString();
        return;
    case Outcome::Done:
    case Outcome::NotUtf8:
        break;
    }
    result.text = builder->take();
    const LineBreak last = result.text.lastBreak();
    format.lineBreak = last == LineBreak::None ? platformFormat().lineBreak : last;
    result.format = format;
    result.ok = true;
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

// Memory the system can still give, in bytes; -1 where unknown.
qint64 availableMemory()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : meminfo.readAll().split('\n')) {
        if (line.startsWith("MemAvailable:"))
            return line.mid(13).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

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
    const qint64 available = availableMemory();
    if (available >= 0 && needed > available)
        return tr("The file is too large to open: %1 MB would need %2 MB of memory, and %3 MB are available.")
            .arg(megabytes(size), megabytes(needed), megabytes(available));
    return QString();
}

bool encodeCp1252(const TextStore &text, QByteArray *out)
{
    out->resize(qsizetype(text.length()) + text.breakCount(LineBreak::CRLF));
    char *to = out->data();
    int line = 0;
    for (const QStringView part : {text.firstPart(), text.secondPart()}) {
        for (const QChar qc : part) {
            const char16_t c = qc.unicode();
            if (c == u'\n') {
                for (const char *b = lineBreakCharacters(text.lineBreak(line++)); *b; ++b)
                    *to++ = *b;
                continue;
            }
            if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
                *to++ = char(c);
                continue;
            }
            const auto high = std::find(Cp1252High.begin(), Cp1252High.end(), c);
            if (high == Cp1252High.end())
                return false;
            *to++ = char(0x80 + (high - Cp1252High.begin()));
        }
    }
    out->resize(to - out->constData());
    return true;
}

QByteArray encodeUtf8(const TextStore &text, bool byteOrderMark)
{
    QByteArray out;
    qsizetype used = 0;
    auto room = [&](qsizetype more) {
        if (used + more > out.size())
            out.resize(qMax(used + more, out.size() + out.size() / 2));
    };
    room(qsizetype(text.length()) + text.breakCount(LineBreak::CRLF) + 3);
    if (byteOrderMark) {
        std::memcpy(out.data(), Utf8Bom, 3);
        used = 3;
    }
    QStringEncoder utf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    auto put = [&](QStringView run) {
        room(utf8.requiredSpace(run.size()));
        char *end = utf8.appendToBuffer(out.data() + used, run);
        used = end - out.constData();
    };
    const bool allLf = text.breakCount(LineBreak::CRLF) == 0 && text.breakCount(LineBreak::CR) == 0;
    int line = 0;
    for (QStringView part : {text.firstPart(), text.secondPart()}) {
        if (allLf) {
            put(part); // every break is the "\n" it is held as
            continue;
        }
        for (qsizetype at; (at = part.indexOf(u'\n')) >= 0; part = part.sliced(at + 1)) {
            put(part.first(at));
            const char *lineBreak = lineBreakCharacters(text.lineBreak(line++));
            room(2);
            for (; *lineBreak; ++lineBreak)
                out[used++] = *lineBreak;
        }
        put(part);
    }
    out.resize(used);
    return out;
}

bool endsWithBreak(const TextStore &text)
{
    return text.lineCount() > 1 && text.lineLength(text.lineCount() - 1) == 0;
}

} // namespace

Format platformFormat()
{
    Format format;
#ifdef Q_OS_WIN
    format.lineBreak = LineBreak::CRLF;
#else
    format.lineBreak = LineBreak::LF;
#endif
    return format;
}

void setSizeLimit(qint64 bytes)
{
    s_sizeLimit = bytes;
}

TextStore decode(QByteArrayView bytes, Format *format)
{
    QByteArray data = bytes.toByteArray();
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    ReadResult result;
    decodeDevice(buffer, data.size(), nullptr, result);
    if (format)
        *format = result.format;
    return std::move(result.text);
}

ReadResult read(const QString &path, ReadControl *control)
{
    ReadResult result;
    QFile file;
    qint64 size = 0;
#ifdef Q_OS_UNIX
    // Opened without waiting, so that a FIFO with no writer cannot block;
    // then whatever is not a regular file is turned away.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.error = qt_error_string(errno);
        return result;
    }
    struct stat status{};
    if (::fstat(fd, &status) != 0) {
        result.error = qt_error_string(errno);
        ::close(fd);
        return result;
    }
    if (!S_ISREG(status.st_mode)) {
        result.error = notARegularFile(status.st_mode);
        ::close(fd);
        return result;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        result.error = file.errorString();
        return result;
    }
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
        decodeDevice(file, size, control, result);
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
    return tr("Could not open \"%1\":\n%2").arg(QDir::toNativeSeparators(path), reason);
}

QString writeFailureMessage(const QString &path, const QString &reason)
{
    return tr("Could not save \"%1\":\n%2").arg(QDir::toNativeSeparators(path), reason);
}

QByteArray encode(const TextStore &text, const Format &format, Format *used)
{
    Format actual = format;
    QByteArray bytes;
    if (format.encoding == Encoding::Windows1252 && !encodeCp1252(text, &bytes)) {
        // A character the legacy code page cannot hold: keep it, in UTF-8.
        actual.encoding = Encoding::Utf8;
        actual.byteOrderMark = false;
    }
    if (actual.encoding == Encoding::Utf8)
        bytes = encodeUtf8(text, actual.byteOrderMark);
    if (!endsWithBreak(text))
        bytes += lineBreakCharacters(format.lineBreak);
    if (used)
        *used = actual;
    return bytes;
}

#ifdef Q_OS_UNIX
namespace {

QString systemReason(int errorNumber)
{
    return qt_error_string(errorNumber);
}

// Writes all of bytes at offset, or sets errno.
bool writeAll(int fd, const char *bytes, qint64 size, qint64 offset = 0)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, bytes, size_t(qMin<qint64>(size, 1 << 30)), off_t(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += n;
        size -= n;
        offset += n;
    }
    return true;
}

// A new file next to `beside`, written whole and flushed to the disk; its
// name, or an empty one with errno set.
QByteArray writeTemporary(const QByteArray &folder, const QByteArray &stem, const QByteArray &bytes)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = folder + '/' + '.' + stem + '.' + QByteArray::number(::getpid()) + '-'
            + QByteArray::number(attempt) + ".tmp";
        // Created with the usual mode for a new file, as the user's umask has it.
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return QByteArray();
        }
        const bool written = writeAll(fd, bytes.constData(), bytes.size()) && ::fsync(fd) == 0;
        const int why = errno;
        ::close(fd);
        if (!written) {
            ::unlink(name.constData());
            errno = why;
            return QByteArray();
        }
        return name;
    }
    errno = EEXIST;
    return QByteArray();
}

void syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Writes bytes over the file itself, so that every name it has (hard links)
// sees them and its owner stays. The new bytes are first written safely
// elsewhere, and room for them is taken before the file is touched; should
// writing still fail, the old bytes are put back.
bool writeInPlace(const QByteArray &file, const QByteArray &folder, const QByteArray &stem,
                  const QByteArray &bytes, QString *why)
{
    QByteArray safe = writeTemporary(folder, stem, bytes);
    if (safe.isEmpty() && (errno == EACCES || errno == EPERM || errno == EROFS))
        safe = writeTemporary(QFile::encodeName(QDir::tempPath()), stem, bytes);
    if (safe.isEmpty()) {
        *why = systemReason(errno);
        return false;
    }
    auto fail = [&](int errorNumber) {
        *why = systemReason(errorNumber);
        ::unlink(safe.constData());
        return false;
    };
    const int fd = ::open(file.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return fail(errno);
    QFile old;
    QByteArray oldBytes;
    if (old.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        oldBytes = old.readAll();
    old.close();
#ifdef FALLOC_FL_KEEP_SIZE
    if (bytes.size() > oldBytes.size()
        && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes.size())) != 0 && errno == ENOSPC) {
        const int errorNumber = errno;
        ::close(fd);
        return fail(errorNumber);
    }
#endif
    if (!writeAll(fd, bytes.constData(), bytes.size()) || ::ftruncate(fd, off_t(bytes.size())) != 0
        || ::fsync(fd) != 0) {
        const int errorNumber = errno;
        writeAll(fd, oldBytes.constData(), oldBytes.size());
        ::ftruncate(fd, off_t(oldBytes.size()));
        ::fsync(fd);
        ::close(fd);
        return fail(errorNumber);
    }
    ::close(fd);
    ::unlink(safe.constData());
    return true;
}

// Writes bytes to a new file beside the old one and puts it in the old one's
// place in one step, with the old one's mode, owner and group. False, with
// errno EPERM, where the owner cannot be kept that way.
bool writeReplacing(const QByteArray &file, const QByteArray &folder, const QByteArray &stem,
                    const QByteArray &bytes, const struct stat *old, QString *why)
{
    const QByteArray fresh = writeTemporary(folder, stem, bytes);
    if (fresh.isEmpty()) {
        *why = systemReason(errno);
        return false;
    }
    auto fail = [&](int errorNumber) {
        *why = systemReason(errorNumber);
        ::unlink(fresh.constData());
        errno = errorNumber;
        return false;
    };
    if (old) {
        if ((old->st_uid != ::geteuid() || old->st_gid != ::getegid())
            && ::chown(fresh.constData(), old->st_uid, old->st_gid) != 0)
            return fail(errno);
        if (::chmod(fresh.constData(), old->st_mode & 07777) != 0)
            return fail(errno);
    }
    if (::rename(fresh.constData(), file.constData()) != 0)
        return fail(errno);
    syncFolder(folder);
    return true;
}

} // namespace
#endif

bool write(const QString &path, const QByteArray &bytes, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo info(path);
    if (info.isDir())
        return fail(tr("It is a folder, not a file."));
    if (!info.dir().exists())
        return fail(tr("The folder \"%1\" does not exist.")
                        .arg(QDir::toNativeSeparators(info.absolutePath())));
    // The owner's write bit is what marks a file read-only; honour it even for
    // a user the system would let write anyway.
    if (info.exists() && !(info.permissions() & QFileDevice::WriteOwner))
        return fail(tr("The file is read-only."));

#ifdef Q_OS_UNIX
    // A symbolic link is written through: the file it leads to changes.
    QString target = info.absoluteFilePath();
    if (info.isSymLink())
        target = info.exists() ? info.canonicalFilePath() : info.symLinkTarget();
    const QByteArray file = QFile::encodeName(target);
    const QFileInfo targetInfo(target);
    const QByteArray folder = QFile::encodeName(targetInfo.absolutePath());
    const QByteArray stem = QFile::encodeName(targetInfo.fileName());
    QString why;
    struct stat old{};
    if (::stat(file.constData(), &old) != 0) {
        if (errno != ENOENT)
            return fail(systemReason(errno));
        if (writeReplacing(file, folder, stem, bytes, nullptr, &why))
            return true;
        return fail(why);
    }
    if (!S_ISREG(old.st_mode))
        return fail(tr("It is not a regular file."));
    // A file with more names than one is written in place, so that all of
    // them see the new text; so is one whose owner could not be kept by
    // putting a new file in its place.
    if (old.st_nlink == 1) {
        if (writeReplacing(file, folder, stem, bytes, &old, &why))
            return true;
        if (errno != EPERM && errno != EACCES)
            return fail(why);
    }
    if (writeInPlace(file, folder, stem, bytes, &why))
        return true;
    return fail(why);
#else
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(why);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
#endif
}

} // namespace TextFile
