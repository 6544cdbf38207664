#include "SafeSave.h"

#include "system/FileNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#ifdef Q_OS_UNIX
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <utility>
#include <vector>
#else
#include <QSaveFile>
#endif

namespace SafeSave {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SafeSave", text);
}

// What stands between the file's name and the kind of a name beside it.
const QByteArray Marker = ".quillpad-";
constexpr int RandomLength = 12;

enum class Kind { Partial, Save, Old };

QByteArray kindWord(Kind kind)
{
    switch (kind) {
    case Kind::Partial: return "partial";
    case Kind::Save: return "save";
    case Kind::Old: return "old";
    }
    return {};
}

bool isRandomPart(QByteArrayView part)
{
    if (part.size() != RandomLength)
        return false;
    for (const char c : part) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// The file's name as it goes into the names beside it: one too long to
// leave room for the rest is cut, and told apart by a hash of it.
QByteArray stemOf(const QByteArray &name)
{
    constexpr qsizetype room = 255 - 1 - 10 /* Marker */ - 8 /* "partial-" */ - RandomLength;
    if (name.size() <= room)
        return name;
    const QByteArray hash = QByteArray::number(quint64(qHash(name, 0)), 16).rightJustified(16, '0');
    return name.left(room - hash.size() - 1) + '-' + hash;
}

QByteArray sideName(const QByteArray &stem, Kind kind)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray random(RandomLength, Qt::Uninitialized);
    for (char &c : random)
        c = alphabet[QRandomGenerator::system()->bounded(62)];
    return '.' + stemOf(stem) + Marker + kindWord(kind) + '-' + random;
}

} // namespace

bool isLeftoverOf(const QByteArray &name, const QByteArray &stem)
{
    const QByteArray start = '.' + stemOf(stem) + Marker;
    if (!name.startsWith(start))
        return false;
    const QByteArrayView rest = QByteArrayView(name).sliced(start.size());
    for (const Kind kind : {Kind::Partial, Kind::Save, Kind::Old}) {
        const QByteArray word = kindWord(kind);
        if (rest.startsWith(word + '-') && isRandomPart(rest.sliced(word.size() + 1)))
            return true;
    }
    // Earlier versions kept one fixed name of each kind.
    return '.' + stem + ".quillpad-save" == name || '.' + stem + ".quillpad-old" == name;
}

#ifdef Q_OS_UNIX
namespace {

// Pieces of old text are copied this large.
constexpr qint64 CopyPiece = 1 << 20;

QString systemReason(int errorNumber)
{
    return qt_error_string(errorNumber);
}

// A descriptor, closed when it goes.
class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd)
        : m_fd(fd)
    {
    }
    Fd(Fd &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    Fd &operator=(Fd &&other) noexcept
    {
        reset(std::exchange(other.m_fd, -1));
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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
    QByteArray piece(qsizetype(qMin<qint64>(CopyPiece, qMax<qint64>(size, 1))), Qt::Uninitialized);
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

// The mode a new file takes: 0666 less the user's umask, read without
// changing it for the other threads.
mode_t newFileMode()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok)
                    return 0666 & ~mode_t(mask);
            }
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

// Renames within folders, failing with EEXIST where the new name is taken,
// where the file system can promise that.
bool renameNoReplace(int fromFolder, const QByteArray &from, int toFolder, const QByteArray &to)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(fromFolder, from.constData(), toFolder, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    return ::renameat(fromFolder, from.constData(), toFolder, to.constData()) == 0;
}

std::pair<QByteArray, QByteArray> split(const QByteArray &file)
{
    const qsizetype slash = file.lastIndexOf('/');
    if (slash < 0)
        return {QByteArray("."), file};
    return {slash == 0 ? QByteArray("/") : file.left(slash), file.mid(slash + 1)};
}

int openFolder(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 || errno != EACCES)
        return fd;
    // A folder one may enter and write in but not list.
    return ::open(path.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

// The user's own runtime folder, which nobody else can reach; empty where
// there is none.
QByteArray privateRuntimeFolder()
{
    const QByteArray folder = qgetenv("XDG_RUNTIME_DIR");
    struct stat status{};
    if (folder.startsWith('/') && ::lstat(folder.constData(), &status) == 0 && S_ISDIR(status.st_mode)
        && status.st_uid == ::geteuid() && (status.st_mode & 077) == 0)
        return folder;
    return QByteArray();
}

// The file a save writes, found by opening its name.
struct Target
{
    Fd folder;         // the folder that holds it
    QByteArray name;   // its name there
    // The file itself, held for the whole save: its inode names the save's
    // lock, and may not go to another file while the lock is held.
    Fd file;
    bool exists = false;
    bool madeEmpty = false; // made by this save, where a link led to nothing yet
    struct stat status{};
};

bool findTarget(const QByteArray &file, Target *target, QString *error)
{
    auto fail = [error](const QString &why) {
        *error = why;
        return false;
    };
    // Opening follows a link as the kernel does for this user, or refuses to.
    Fd opened(::open(file.constData(), O_PATH | O_CLOEXEC));
    if (!opened.valid() && errno == ENOENT) {
        struct stat link{};
        if (::lstat(file.constData(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            auto [folder, name] = split(file);
            target->folder.reset(openFolder(folder));
            if (!target->folder.valid())
                return fail(systemReason(errno));
            target->name = name;
            return true; // a new file
        }
        // A link to a file that does not exist yet: the kernel makes it
        // where the link leads (or refuses to), and the save goes on there.
        opened.reset(::open(file.constData(), O_WRONLY | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666));
        target->madeEmpty = opened.valid();
    }
    if (!opened.valid())
        return fail(systemReason(errno));
    if (::fstat(opened.get(), &target->status) != 0)
        return fail(systemReason(errno));
    target->exists = true;
    if (S_ISDIR(target->status.st_mode))
        return fail(tr("It is a folder, not a file."));
    if (!S_ISREG(target->status.st_mode))
        return fail(tr("It is not a regular file."));

    // Where a link led, the kernel tells.
    QByteArray real = file;
    struct stat named{};
    if (::lstat(file.constData(), &named) != 0 || !sameFile(named, target->status)) {
        const QByteArray link = "/proc/self/fd/" + QByteArray::number(opened.get());
        real.resize(PATH_MAX);
        const ssize_t n = ::readlink(link.constData(), real.data(), size_t(real.size()));
        if (n <= 0 || n >= real.size())
            return fail(tr("Where its link leads could not be told (%1).").arg(systemReason(n < 0 ? errno : ENAMETOOLONG)));
        real.resize(n);
    }
    auto [folder, name] = split(real);
    target->folder.reset(openFolder(folder));
    if (!target->folder.valid())
        return fail(systemReason(errno));
    // The folder must hold the very file that was opened.
    struct stat there{};
    if (::fstatat(target->folder.get(), name.constData(), &there, AT_SYMLINK_NOFOLLOW) != 0
        || !sameFile(there, target->status))
        return fail(tr("The file was moved or replaced while it was being saved."));
    target->name = name;
    target->file = std::move(opened);
    return true;
}

// A file of the save's own: made for the user alone, under a name nobody can
// guess and only where nothing of that name exists; removed when it goes,
// unless it took the file's place.
class SideFile
{
public:
    SideFile() = default;
    SideFile(const SideFile &) = delete;
    SideFile &operator=(const SideFile &) = delete;
    ~SideFile()
    {
        if (m_fd.valid() && m_folder >= 0)
            ::unlinkat(m_folder, m_name.constData(), 0);
    }

    // False, with errno set, where it cannot be made.
    bool create(int folder, const QByteArray &stem)
    {
        for (int attempt = 0; attempt < 16; ++attempt) {
            const QByteArray name = sideName(stem, Kind::Partial);
            const int fd = ::openat(folder, name.constData(),
                                    O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
            if (fd >= 0) {
                // Held while it is in use, so that no other save takes it for a leftover.
                ::flock(fd, LOCK_EX | LOCK_NB);
                m_fd.reset(fd);
                m_folder = folder;
                m_stem = stem;
                m_name = name;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    // Once complete on the disk: the name that says what it holds.
    bool complete(Kind kind)
    {
        if (::fsync(m_fd.get()) != 0)
            return false;
        for (int attempt = 0; attempt < 16; ++attempt) {
            const QByteArray name = sideName(m_stem, kind);
            if (renameNoReplace(m_folder, m_name, m_folder, name)) {
                m_name = name;
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    // Put in the file's place: it is the file now.
    bool takePlaceOf(const QByteArray &file, bool replacing)
    {
        const bool placed = replacing
            ? ::renameat(m_folder, m_name.constData(), m_folder, file.constData()) == 0
            : renameNoReplace(m_folder, m_name, m_folder, file);
        if (placed)
            m_folder = -1;
        return placed;
    }

    int fd() const { return m_fd.get(); }

private:
    Fd m_fd;
    int m_folder = -1;
    QByteArray m_stem;
    QByteArray m_name;
};

// Writes what produce puts out to fd from its start, and flushes it to the
// disk; false with errno set.
bool writeOut(int fd, const Producer &produce, qint64 *size)
{
    qint64 written = 0;
    errno = 0;
    const bool ok = produce([&](const char *data, qint64 n) {
        if (!writeAll(fd, data, n, written))
            return false;
        written += n;
        return true;
    }) && ::fsync(fd) == 0;
    if (!ok && errno == 0)
        errno = EIO;
    *size = written;
    return ok;
}

// A folder of mode 0700 made for one save and removed with it, where the
// file's own folder takes no new files.
class PrivateFolder
{
public:
    PrivateFolder() = default;
    PrivateFolder(const PrivateFolder &) = delete;
    PrivateFolder &operator=(const PrivateFolder &) = delete;
    ~PrivateFolder()
    {
        if (m_fd.valid())
            ::rmdir(m_path.constData());
    }

    bool make()
    {
        QByteArray base = privateRuntimeFolder();
        if (base.isEmpty())
            base = QFile::encodeName(QDir::tempPath());
        m_path = base + "/quillpad-save-XXXXXX";
        if (!::mkdtemp(m_path.data()))
            return false;
        m_fd.reset(::open(m_path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!m_fd.valid()) {
            const int why = errno;
            ::rmdir(m_path.constData());
            errno = why;
        }
        return m_fd.valid();
    }
    int fd() const { return m_fd.get(); }

private:
    Fd m_fd;
    QByteArray m_path;
};

// One save of a file at a time among this user's saves: a lock named for
// the file in the user's own runtime folder, which nobody else can reach
// and so nobody else can hold. Where there is no such folder, saves are not
// held apart.
class SaveLock
{
public:
    SaveLock() = default;
    SaveLock(const SaveLock &) = delete;
    SaveLock &operator=(const SaveLock &) = delete;
    ~SaveLock()
    {
        if (m_fd.valid())
            ::unlink(m_path.constData()); // while still held, so nobody locks a name that is going
    }

    // False, with errno EALREADY, while another save of the file holds it.
    bool take(const struct stat &file)
    {
        const QByteArray runtime = privateRuntimeFolder();
        if (runtime.isEmpty())
            return true;
        const QByteArray folder = runtime + "/quillpad";
        ::mkdir(folder.constData(), 0700);
        struct stat status{};
        if (::lstat(folder.constData(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::geteuid()
            || (status.st_mode & 077) != 0)
            return true;
        m_path = folder + "/save-" + QByteArray::number(quint64(file.st_dev), 16) + '-'
            + QByteArray::number(quint64(file.st_ino), 16) + ".lock";
        for (int attempt = 0; attempt < 16; ++attempt) {
            Fd fd(::open(m_path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (!fd.valid())
                return true;
            if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
                errno = EALREADY;
                return false;
            }
            // The save that held it may have removed it just now: hold the one that is there.
            struct stat held{};
            struct stat named{};
            if (::fstat(fd.get(), &held) == 0 && ::stat(m_path.constData(), &named) == 0 && sameFile(held, named)) {
                m_fd = std::move(fd);
                return true;
            }
        }
        return true;
    }

private:
    Fd m_fd;
    QByteArray m_path;
};

// What saves of the file cut short left in its folder: only this user's
// own files, and none that a running save holds.
void removeLeftovers(int folder, const QByteArray &stem)
{
    const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    DIR *entries = ::fdopendir(listing);
    if (!entries) {
        ::close(listing);
        return;
    }
    std::vector<QByteArray> names;
    while (const dirent *entry = ::readdir(entries)) {
        if (isLeftoverOf(QByteArray(entry->d_name), stem))
            names.emplace_back(entry->d_name);
    }
    ::closedir(entries);
    for (const QByteArray &name : names) {
        Fd fd(::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat status{};
        if (!fd.valid() || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)
            || status.st_uid != ::geteuid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        ::unlinkat(folder, name.constData(), 0);
    }
}

enum class Replaced { Done, Failed, TryInPlace };

// Writes the new content beside the file and puts it in the file's place in
// one step, with the file's mode, owner and group; a new file takes the
// usual mode. TryInPlace where the folder takes no new files or the owner
// cannot be kept that way.
Replaced replace(Target &target, const Producer &produce, int *why)
{
    const int folder = target.folder.get();
    SideFile fresh;
    qint64 size = 0;
    if (!fresh.create(folder, target.name)) {
        *why = errno;
        return target.exists && (errno == EACCES || errno == EPERM) ? Replaced::TryInPlace : Replaced::Failed;
    }
    if (!writeOut(fresh.fd(), produce, &size)) {
        *why = errno;
        return Replaced::Failed;
    }
    // The file's own owner, group and mode, only now that the text is whole.
    const struct stat &old = target.status;
    if (target.exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
        && ::fchown(fresh.fd(), old.st_uid, old.st_gid) != 0) {
        *why = errno;
        return errno == EPERM ? Replaced::TryInPlace : Replaced::Failed;
    }
    if (::fchmod(fresh.fd(), target.exists ? old.st_mode & 07777 : newFileMode()) != 0
        || !fresh.takePlaceOf(target.name, target.exists)) {
        *why = errno;
        return Replaced::Failed;
    }
    ::fsync(folder);
    return Replaced::Done;
}

// Writes the new content over the file itself, so that every name it has
// sees it and its owner stays. The new text and the old are first kept
// whole beside it; should writing over the file fail, the old text is put
// back from there.
bool writeInPlace(Target &target, const Producer &produce, QString *error)
{
    auto fail = [error](int errorNumber) {
        *error = systemReason(errorNumber);
        return false;
    };
    // The file first: where it cannot be written, nothing is written anywhere.
    Fd file(::openat(target.folder.get(), target.name.constData(), O_RDWR | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!file.valid())
        return fail(errno);
    struct stat old{};
    if (::fstat(file.get(), &old) != 0 || !sameFile(old, target.status)) {
        *error = tr("The file was moved or replaced while it was being saved.");
        return false;
    }

    PrivateFolder spare; // goes after the files in it
    int place = target.folder.get();
    SideFile fresh;
    if (!fresh.create(place, target.name)) {
        if (errno != EACCES && errno != EPERM && errno != EROFS)
            return fail(errno);
        if (!spare.make())
            return fail(errno);
        place = spare.fd();
        if (!fresh.create(place, target.name))
            return fail(errno);
    }
    qint64 size = 0;
    if (!writeOut(fresh.fd(), produce, &size) || !fresh.complete(Kind::Save))
        return fail(errno);
    SideFile kept;
    if (!kept.create(place, target.name) || !copyBytes(file.get(), kept.fd(), old.st_size)
        || !kept.complete(Kind::Old))
        return fail(errno);
#ifdef FALLOC_FL_KEEP_SIZE
    // Room for the new text is taken before the file is touched.
    if (size > old.st_size && ::fallocate(file.get(), FALLOC_FL_KEEP_SIZE, 0, off_t(size)) != 0 && errno == ENOSPC)
        return fail(ENOSPC);
#endif
    if (!copyBytes(fresh.fd(), file.get(), size) || ::ftruncate(file.get(), off_t(size)) != 0
        || ::fsync(file.get()) != 0) {
        const int why = errno;
        copyBytes(kept.fd(), file.get(), old.st_size);
        ::ftruncate(file.get(), off_t(old.st_size));
        ::fsync(file.get());
        return fail(why);
    }
    return true;
}

} // namespace

bool write(const QString &path, const Producer &produce, QString *error)
{
    QString reason;
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    Target target;
    if (!findTarget(FileNames::encode(path), &target, &reason))
        return fail(reason);
    // The owner's write bit is what marks a file read-only; honour it even
    // for a user the system would let write anyway.
    if (target.exists && !(target.status.st_mode & S_IWUSR))
        return fail(tr("The file is read-only."));
    SaveLock lock;
    if (target.exists && !lock.take(target.status))
        return fail(systemReason(errno));

    int why = 0;
    // A file with one name, or a new one, is replaced; one with more is
    // written in place, so that all its names see the new text.
    const Replaced replaced = target.exists && target.status.st_nlink > 1 ? Replaced::TryInPlace
                                                                          : replace(target, produce, &why);
    bool saved = replaced == Replaced::Done;
    if (replaced == Replaced::Failed)
        reason = systemReason(why);
    else if (replaced == Replaced::TryInPlace)
        saved = writeInPlace(target, produce, &reason);
    if (saved) {
        removeLeftovers(target.folder.get(), target.name);
        return true;
    }
    if (target.madeEmpty) {
        // What this save made where a link led goes again, if nothing came into it.
        struct stat now{};
        if (::fstatat(target.folder.get(), target.name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0
            && sameFile(now, target.status) && now.st_size == 0)
            ::unlinkat(target.folder.get(), target.name.constData(), 0);
    }
    return fail(reason);
}

#else

bool write(const QString &path, const Producer &produce, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const bool produced = produce([&file](const char *data, qint64 size) { return file.write(data, size) == size; });
    if (!produced)
        file.cancelWriting();
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

#endif

} // namespace SafeSave
