#include "TextFile.h"

#include "text/TextBuilder.h"
#include "system/FileNames.h"
#include "system/Memory.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QThread>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
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
// A save encodes and writes a piece of about this many bytes at a time.
constexpr qsizetype Piece = 1 << 20;

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

bool endsWithBreak(const TextStore &text)
{
    return text.lineCount() > 1 && text.lineLength(text.lineCount() - 1) == 0;
}

// The byte a character is in Windows-1252, or -1 where it has none.
int cp1252Byte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    const auto high = std::find(Cp1252High.begin(), Cp1252High.end(), c);
    return high == Cp1252High.end() ? -1 : 0x80 + int(high - Cp1252High.begin());
}

bool fitsCp1252(const TextStore &text)
{
    for (const QStringView part : {text.firstPart(), text.secondPart()}) {
        for (const QChar c : part) {
            if (c.unicode() != u'\n' && cp1252Byte(c.unicode()) < 0)
                return false;
        }
    }
    return true;
}

// Where the encoded text goes, a piece at a time; false stops it, with errno set.
using Put = std::function<bool(const char *data, qint64 size)>;

// Gathers bytes and hands them on in pieces of about a megabyte.
class Output
{
public:
    explicit Output(const Put &put)
        : m_put(put)
    {
        m_buffer.reserve(Piece + 64);
    }
    bool append(const char *data, qsizetype size)
    {
        m_buffer.append(data, size);
        return m_buffer.size() < Piece || flush();
    }
    // Room for size more bytes, to be filled and then committed.
    char *space(qsizetype size)
    {
        const qsizetype used = m_buffer.size();
        m_buffer.resize(used + size);
        return m_buffer.data() + used;
    }
    bool commit(const char *end)
    {
        m_buffer.resize(end - m_buffer.constData());
        return m_buffer.size() < Piece || flush();
    }
    bool flush()
    {
        const bool ok = m_buffer.isEmpty() || m_put(m_buffer.constData(), m_buffer.size());
        m_buffer.clear();
        return ok;
    }

private:
    const Put &m_put;
    QByteArray m_buffer;
};

// The text encoded as format says, each line with its own break and
// `lastBreak` after the last line where the text does not end with one.
bool produceText(const TextStore &text, const Format &format, LineBreak lastBreak, const Put &put)
{
    Output out(put);
    if (format.encoding == Encoding::Utf8 && format.byteOrderMark && !out.append(Utf8Bom, 3))
        return false;
    QStringEncoder utf8(QStringEncoder::Utf8); // keeps a surrogate pair cut between two runs whole
    // A CR break right before an LF one would be read back as one CRLF; that
    // LF (only ever of an empty line that edits left behind) goes as CRLF.
    bool afterCR = false;
    auto putRun = [&](QStringView run) {
        afterCR = afterCR && run.isEmpty();
        // In slices, so that a line of any length passes through a megabyte.
        for (; !run.isEmpty(); run = run.sliced(qMin<qsizetype>(run.size(), Piece / 4))) {
            const QStringView slice = run.first(qMin<qsizetype>(run.size(), Piece / 4));
            if (format.encoding == Encoding::Utf8) {
                char *at = out.space(utf8.requiredSpace(slice.size()));
                if (!out.commit(utf8.appendToBuffer(at, slice)))
                    return false;
            } else {
                char *at = out.space(slice.size());
                for (const QChar c : slice)
                    *at++ = char(cp1252Byte(c.unicode()));
                if (!out.commit(at))
                    return false;
            }
        }
        return true;
    };
    auto putBreak = [&](LineBreak kind) {
        const char *chars = kind == LineBreak::LF && afterCR ? "\r\n" : lineBreakCharacters(kind);
        afterCR = kind == LineBreak::CR;
        return out.append(chars, qsizetype(std::strlen(chars)));
    };
    int line = 0;
    for (QStringView part : {text.firstPart(), text.secondPart()}) {
        for (qsizetype at; (at = part.indexOf(u'\n')) >= 0; part = part.sliced(at + 1)) {
            if (!putRun(part.first(at)) || !putBreak(text.lineBreak(line++)))
                return false;
        }
        if (!putRun(part))
            return false;
    }
    if (!endsWithBreak(text) && !putBreak(lastBreak))
        return false;
    return out.flush();
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
    const int fd = ::open(FileNames::encode(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
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
    return tr("Could not open \"%1\":\n%2").arg(FileNames::display(QDir::toNativeSeparators(path)), reason);
}

QString writeFailureMessage(const QString &path, const QString &reason)
{
    return tr("Could not save \"%1\":\n%2").arg(FileNames::display(QDir::toNativeSeparators(path)), reason);
}

Format savedFormat(const TextStore &text, const Format &format)
{
    Format actual = format;
    if (format.encoding == Encoding::Windows1252 && !fitsCp1252(text)) {
        // A character the legacy code page cannot hold: keep it, in UTF-8.
        actual.encoding = Encoding::Utf8;
        actual.byteOrderMark = false;
    }
    return actual;
}

QByteArray encode(const TextStore &text, const Format &format, Format *used)
{
    const Format actual = savedFormat(text, format);
    QByteArray bytes;
    produceText(text, actual, format.lineBreak, [&bytes](const char *data, qint64 size) {
        bytes.append(data, qsizetype(size));
        return true;
    });
    if (used)
        *used = actual;
    return bytes;
}

#ifdef Q_OS_UNIX
namespace {

// What a save puts beside the file while it works: the whole new text, and,
// for a file written in place, the whole old one. Both go when it is done; a
// save cut short (the program killed) leaves them, and the next save of the
// same file takes them over and removes them.
const QByteArray SaveSuffix = ".quillpad-save";
const QByteArray OldSuffix = ".quillpad-old";

QString systemReason(int errorNumber)
{
    return qt_error_string(errorNumber);
}

// Writes all of size bytes at offset, or sets errno.
bool writeAll(int fd, const char *bytes, qint64 size, qint64 offset)
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

// Copies size bytes from one open file to another, a piece at a time.
bool copyBytes(int from, int to, qint64 size)
{
    QByteArray piece(qsizetype(qMin<qint64>(Piece, qMax<qint64>(size, 1))), Qt::Uninitialized);
    for (qint64 at = 0; at < size;) {
        const ssize_t n = ::pread(from, piece.data(), size_t(qMin<qint64>(piece.size(), size - at)), off_t(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO; // shorter than it was
            return false;
        }
        if (!writeAll(to, piece.constData(), n, at))
            return false;
        at += n;
    }
    return true;
}

void syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// The file's folder and name, as bytes.
std::pair<QByteArray, QByteArray> split(const QByteArray &file)
{
    const qsizetype slash = file.lastIndexOf('/');
    if (slash < 0)
        return {QByteArray("."), file};
    return {slash == 0 ? QByteArray("/") : file.left(slash), file.mid(slash + 1)};
}

// The name of what a save puts beside stem in folder: ".stem.quillpad-save".
// A stem too long to take the suffix is cut, and told apart by a hash.
QByteArray besideName(const QByteArray &folder, const QByteArray &stem, const QByteArray &suffix)
{
    QByteArray name = stem;
    if (name.size() + suffix.size() + 1 > 255)
        name = name.left(200) + '-' + QByteArray::number(qHash(stem), 16);
    return folder + "/." + name + suffix;
}

// A file of this save's own at name: created afresh, or taken over from a
// save cut short; -1 with errno, EALREADY ("Operation already in progress")
// where another save of the same file is under way.
int openOwn(const QByteArray &name, mode_t mode)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX | LOCK_NB);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
        // Left by a save cut short, unless one is writing it now.
        const int stale = ::open(name.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (stale >= 0 && ::flock(stale, LOCK_EX | LOCK_NB) != 0) {
            ::close(stale);
            errno = EALREADY;
            return -1;
        }
        ::unlink(name.constData());
        if (stale >= 0)
            ::close(stale);
    }
    errno = EEXIST;
    return -1;
}

// Writes what produce puts out to a new file at name, of the given mode (less
// the user's umask), flushed to the disk; its descriptor (locked), or -1 with
// errno set and nothing left.
using Producer = std::function<bool(const Put &)>;

int writeOwn(const QByteArray &name, const Producer &produce, qint64 *size, mode_t mode)
{
    const int fd = openOwn(name, mode);
    if (fd < 0)
        return -1;
    qint64 written = 0;
    const bool ok = produce([&](const char *data, qint64 n) {
        if (!writeAll(fd, data, n, written))
            return false;
        written += n;
        return true;
    }) && ::fsync(fd) == 0;
    if (!ok) {
        const int why = errno ? errno : EIO;
        ::unlink(name.constData());
        ::close(fd);
        errno = why;
        return -1;
    }
    *size = written;
    return fd;
}

// Writes the new content to a file beside the old one and puts it in the old
// one's place in one step, with the old one's mode, owner and group. False,
// with *why set (EPERM where the owner cannot be kept that way).
bool writeReplacing(const QByteArray &file, const QByteArray &folder, const QByteArray &stem,
                    const Producer &produce, const struct stat *old, int *why)
{
    const QByteArray fresh = besideName(folder, stem, SaveSuffix);
    qint64 size = 0;
    // Created with the usual mode for a new file, as the user's umask has it.
    const int fd = writeOwn(fresh, produce, &size, 0666);
    if (fd < 0) {
        *why = errno;
        return false;
    }
    auto fail = [&](int errorNumber) {
        ::unlink(fresh.constData());
        ::close(fd);
        *why = errorNumber;
        return false;
    };
    if (old) {
        if ((old->st_uid != ::geteuid() || old->st_gid != ::getegid())
            && ::fchown(fd, old->st_uid, old->st_gid) != 0)
            return fail(errno);
        if (::fchmod(fd, old->st_mode & 07777) != 0)
            return fail(errno);
    }
    if (::rename(fresh.constData(), file.constData()) != 0)
        return fail(errno);
    ::close(fd);
    syncFolder(folder);
    ::unlink(besideName(folder, stem, OldSuffix).constData()); // a save cut short may have left it
    return true;
}

// Writes the new content over the file itself, so that every name it has
// (hard links) sees it and its owner stays. The whole new text is first
// written safely beside it, and the old text too; should writing over the
// file still fail, the old text is put back from there.
bool writeInPlace(const QByteArray &file, const QByteArray &folder, const QByteArray &stem,
                  const Producer &produce, QString *why)
{
    auto reason = [why](int errorNumber) {
        *why = systemReason(errorNumber);
        return false;
    };
    // Beside the file, or where the folder takes nothing, in the temporary folder.
    QByteArray place = folder;
    qint64 size = 0;
    // Only ever read back from, so for the user alone.
    int fresh = writeOwn(besideName(place, stem, SaveSuffix), produce, &size, 0600);
    if (fresh < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        place = QFile::encodeName(QDir::tempPath());
        fresh = writeOwn(besideName(place, stem, SaveSuffix), produce, &size, 0600);
    }
    if (fresh < 0)
        return reason(errno);
    const QByteArray freshName = besideName(place, stem, SaveSuffix);
    const QByteArray oldName = besideName(place, stem, OldSuffix);
    int kept = -1;
    auto cleanUp = [&] {
        if (kept >= 0) {
            ::unlink(oldName.constData());
            ::close(kept);
        }
        ::unlink(freshName.constData());
        ::close(fresh);
    };
    const int fd = ::open(file.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const int errorNumber = errno;
        cleanUp();
        return reason(errorNumber);
    }
    struct stat old{};
    ::fstat(fd, &old);
    // The old text, whole, where it can be put back from.
    kept = ::open(oldName.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (kept < 0 || !copyBytes(fd, kept, old.st_size) || ::fsync(kept) != 0) {
        const int errorNumber = errno;
        ::close(fd);
        cleanUp();
        return reason(errorNumber);
    }
#ifdef FALLOC_FL_KEEP_SIZE
    // Room for the new text is taken before the file is touched.
    if (size > old.st_size && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(size)) != 0 && errno == ENOSPC) {
        ::close(fd);
        cleanUp();
        return reason(ENOSPC);
    }
#endif
    if (!copyBytes(fresh, fd, size) || ::ftruncate(fd, off_t(size)) != 0 || ::fsync(fd) != 0) {
        const int errorNumber = errno;
        copyBytes(kept, fd, old.st_size);
        ::ftruncate(fd, off_t(old.st_size));
        ::fsync(fd);
        ::close(fd);
        cleanUp();
        return reason(errorNumber);
    }
    ::close(fd);
    cleanUp();
    return true;
}

// The file a name leads to: itself, or, for a symbolic link, the file it
// leads to (which may not exist yet).
QByteArray target(const QByteArray &file, int *why)
{
    struct stat link{};
    if (::lstat(file.constData(), &link) != 0 || !S_ISLNK(link.st_mode))
        return file;
    if (char *real = ::realpath(file.constData(), nullptr)) {
        QByteArray resolved(real);
        std::free(real);
        return resolved;
    }
    if (errno != ENOENT) {
        *why = errno;
        return QByteArray();
    }
    QByteArray to(4096, Qt::Uninitialized);
    const ssize_t n = ::readlink(file.constData(), to.data(), size_t(to.size()));
    if (n < 0) {
        *why = errno;
        return QByteArray();
    }
    to.resize(n);
    return to.startsWith('/') ? to : split(file).first + '/' + to;
}

bool writeFile(const QString &path, const Producer &produce, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    int why = 0;
    const QByteArray file = target(FileNames::encode(path), &why);
    if (file.isEmpty())
        return fail(systemReason(why ? why : ENOENT));
    const auto [folder, stem] = split(file);
    struct stat old{};
    if (::stat(file.constData(), &old) != 0) {
        if (errno != ENOENT)
            return fail(systemReason(errno));
        if (writeReplacing(file, folder, stem, produce, nullptr, &why))
            return true;
        return fail(systemReason(why));
    }
    if (S_ISDIR(old.st_mode))
        return fail(tr("It is a folder, not a file."));
    if (!S_ISREG(old.st_mode))
        return fail(tr("It is not a regular file."));
    // The owner's write bit is what marks a file read-only; honour it even for
    // a user the system would let write anyway.
    if (!(old.st_mode & S_IWUSR))
        return fail(tr("The file is read-only."));
    // A file with more names than one is written in place, so that all of
    // them see the new text; so is one whose owner could not be kept by
    // putting a new file in its place.
    if (old.st_nlink == 1) {
        if (writeReplacing(file, folder, stem, produce, &old, &why))
            return true;
        if (why != EPERM && why != EACCES)
            return fail(systemReason(why));
    }
    QString reason;
    if (writeInPlace(file, folder, stem, produce, &reason))
        return true;
    return fail(reason);
}

} // namespace
#endif

bool save(const QString &path, const TextStore &text, const Format &format, Format *used, QString *error)
{
    const Format actual = savedFormat(text, format);
    if (used)
        *used = actual;
    auto produce = [&](const Put &put) { return produceText(text, actual, format.lineBreak, put); };
#ifdef Q_OS_UNIX
    return writeFile(path, produce, error);
#else
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    produce([&file](const char *data, qint64 size) { return file.write(data, size) == size; });
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
#endif
}

bool write(const QString &path, const QByteArray &bytes, QString *error)
{
#ifdef Q_OS_UNIX
    return writeFile(path, [&bytes](const Put &put) { return put(bytes.constData(), bytes.size()); }, error);
#else
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
#endif
}

} // namespace TextFile
