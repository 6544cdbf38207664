#include "SafeSave.h"

#include "SaveLock.h"
#include "SaveTarget.h"
#include "SideFiles.h"
#include "SpareFolder.h"
#include "system/FileNames.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace SafeSave {

using namespace PosixFiles;

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SafeSave", text);
}

QString shown(const QByteArray &path)
{
    return FileNames::display(FileNames::decode(path));
}

// Fails with the system's reason for errorNumber; the file is as it was.
bool fail(Failure *failure, int errorNumber)
{
    failure->reason = qt_error_string(errorNumber);
    return false;
}

// Writes what produce puts out to fd from its start; false with errno set.
bool writeOut(int fd, const Producer &produce, qint64 *size)
{
    qint64 written = 0;
    errno = 0;
    const bool ok = produce([&](const char *data, qint64 n) {
        if (!writeAll(fd, data, n, written))
            return false;
        written += n;
        return true;
    });
    if (!ok && errno == 0)
        errno = EIO;
    *size = written;
    return ok;
}

// Writes the first size bytes of from over file, cuts file to that size and
// flushes it to the disk; false with errno set.
bool overwrite(int file, int from, qint64 size)
{
    return copyBytes(from, file, size) && ::ftruncate(file, off_t(size)) == 0 && sync(file);
}

enum class Replaced { Done, Failed, TryInPlace };

// Writes the new content beside the file and puts it in the file's place in
// one step, with the file's mode, owner and group; a new file takes the
// usual mode. TryInPlace where the folder takes no new files or the owner
// cannot be kept that way.
Replaced replace(Target &target, const Producer &produce, Failure *failure)
{
    auto failed = [failure](int errorNumber) {
        fail(failure, errorNumber);
        return Replaced::Failed;
    };
    const int folder = target.folder.get();
    SideFile fresh;
    if (!fresh.create(folder, target.folderPath, target.name)) {
        if (target.exists && (errno == EACCES || errno == EPERM))
            return Replaced::TryInPlace;
        return failed(errno);
    }
    qint64 size = 0;
    if (!writeOut(fresh.fd(), produce, &size))
        return failed(errno);
    // The file's owner, group and mode reach the disk with its text: a power
    // cut never leaves it with the save's private mode.
    const struct stat &old = target.status;
    if (target.exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
        && ::fchown(fresh.fd(), old.st_uid, old.st_gid) != 0)
        return errno == EPERM ? Replaced::TryInPlace : failed(errno);
    if (::fchmod(fresh.fd(), target.exists ? old.st_mode & 07777 : newFileMode()) != 0 || !sync(fresh.fd())
        || !fresh.takePlaceOf(target.name, target.exists))
        return failed(errno);
    if (!syncFolder(folder)) {
        fail(failure, errno);
        failure->file = Failure::File::HoldsNewText;
        return Replaced::Failed;
    }
    return Replaced::Done;
}

// Writes the new content over the file itself, so that every name it has
// sees it and its owner stays. First the new text and the old are kept
// whole on the disk, under names that say so; should writing over the file
// fail, the old text is put back from there, and should that fail too, both
// stay where they are.
bool writeInPlace(Target &target, const Producer &produce, Failure *failure)
{
    // The file first: where it cannot be written, nothing is written anywhere.
    Fd file(::openat(target.folder.get(), target.name.constData(), O_RDWR | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!file.valid())
        return fail(failure, errno);
    struct stat old{};
    if (::fstat(file.get(), &old) != 0 || !sameFile(old, target.status)) {
        failure->reason = tr("The file was moved or replaced while it was being saved.");
        return false;
    }

    // Beside the file, or where its folder takes no new files, in a spare folder.
    SpareFolder spare; // goes after the files in it
    int place = target.folder.get();
    QByteArray placePath = target.folderPath;
    SideFile fresh;
    if (!fresh.create(place, placePath, target.name)) {
        if (errno != EACCES && errno != EPERM && errno != EROFS)
            return fail(failure, errno);
        if (!spare.make(target.status, &failure->reason))
            return false;
        place = spare.fd();
        placePath = spare.path();
        if (!fresh.create(place, placePath, target.name))
            return fail(failure, errno);
    }
    qint64 size = 0;
    if (!writeOut(fresh.fd(), produce, &size) || !sync(fresh.fd()) || !fresh.name(Kind::Save))
        return fail(failure, errno);
    SideFile kept;
    if (!kept.create(place, placePath, target.name) || !copyBytes(file.get(), kept.fd(), old.st_size)
        || !sync(kept.fd()) || !kept.name(Kind::Old))
        return fail(failure, errno);
    // Their names reach the disk too before a byte of the file changes.
    if (!syncFolder(place))
        return fail(failure, errno);

#ifdef FALLOC_FL_KEEP_SIZE
    // Room for the new text is taken before the file is touched.
    if (size > old.st_size && ::fallocate(file.get(), FALLOC_FL_KEEP_SIZE, 0, off_t(size)) != 0 && errno == ENOSPC)
        return fail(failure, ENOSPC);
#endif
    if (overwrite(file.get(), fresh.fd(), size))
        return true;
    fail(failure, errno);
    if (overwrite(file.get(), kept.fd(), old.st_size))
        return false; // put back as it was
    fresh.keep();
    kept.keep();
    spare.keep();
    failure->file = Failure::File::MayBeDamaged;
    failure->oldTextKeptIn = shown(kept.path());
    failure->newTextKeptIn = shown(fresh.path());
    return false;
}

} // namespace

QString Failure::describe() const
{
    switch (file) {
    case File::AsItWas:
        break;
    case File::HoldsNewText:
        return tr("%1\nThe file holds the new text, but the system could not confirm that it is safely on the disk.")
            .arg(reason);
    case File::MayBeDamaged:
        return tr("%1\nThe file may be damaged. Its old text is kept whole in \"%2\", and the new text in \"%3\".")
            .arg(reason, oldTextKeptIn, newTextKeptIn);
    }
    return reason;
}

bool write(const QString &path, const Producer &produce, Failure *failure)
{
    Failure ignored;
    Failure &why = failure ? *failure : ignored;
    why = Failure();
    Target target;
    if (!findTarget(FileNames::encode(path), &target, &why.reason))
        return false;
    // The owner's write bit is what marks a file read-only; honour it even
    // for a user the system would let write anyway.
    if (target.exists && !(target.status.st_mode & S_IWUSR)) {
        why.reason = tr("The file is read-only.");
        return false;
    }
    SaveLock lock;
    if (target.exists && !lock.take(target.status))
        return fail(&why, errno);

    // A file with one name, or a new one, is replaced; one with more is
    // written in place, so that all its names see the new text.
    Replaced replaced = target.exists && target.status.st_nlink > 1 ? Replaced::TryInPlace
                                                                    : replace(target, produce, &why);
    if (replaced == Replaced::TryInPlace)
        replaced = writeInPlace(target, produce, &why) ? Replaced::Done : Replaced::Failed;
    if (replaced == Replaced::Done) {
        removeLeftovers(target.folder.get(), target.name);
        if (target.exists)
            SpareFolder::removeLeftovers(target.status);
        return true;
    }
    if (target.madeEmpty && why.file == Failure::File::AsItWas) {
        // What this save made where a link led goes again, if nothing came into it.
        struct stat now{};
        if (::fstatat(target.folder.get(), target.name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0
            && sameFile(now, target.status) && now.st_size == 0)
            ::unlinkat(target.folder.get(), target.name.constData(), 0);
    }
    return false;
}

bool write(const QString &path, const Producer &produce, QString *error)
{
    Failure failure;
    const bool saved = write(path, produce, &failure);
    if (!saved && error)
        *error = failure.describe();
    return saved;
}

} // namespace SafeSave
