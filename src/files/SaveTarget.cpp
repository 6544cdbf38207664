#include "SaveTarget.h"

#include <QCoreApplication>

#include <cerrno>
#include <climits>
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

} // namespace

bool findTarget(const QByteArray &path, Target *target, QString *error)
{
    auto fail = [error](const QString &why) {
        *error = why;
        return false;
    };
    // Opening follows a link as the kernel does for this user, or refuses to.
    Fd opened(::open(path.constData(), O_PATH | O_CLOEXEC));
    if (!opened.valid() && errno == ENOENT) {
        struct stat link{};
        if (::lstat(path.constData(), &link) != 0 || !S_ISLNK(link.st_mode)) {
            auto [folder, name] = splitPath(path);
            target->folder.reset(openFolder(folder));
            if (!target->folder.valid())
                return fail(qt_error_string(errno));
            target->folderPath = folder;
            target->name = name;
            return true; // a new file
        }
        // A link to a file that does not exist yet: the kernel makes it
        // where the link leads (or refuses to), and the save goes on there.
        opened.reset(::open(path.constData(), O_WRONLY | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666));
        target->madeEmpty = opened.valid();
    }
    if (!opened.valid())
        return fail(qt_error_string(errno));
    if (::fstat(opened.get(), &target->status) != 0)
        return fail(qt_error_string(errno));
    target->exists = true;
    if (S_ISDIR(target->status.st_mode))
        return fail(tr("It is a folder, not a file."));
    if (!S_ISREG(target->status.st_mode))
        return fail(tr("It is not a regular file."));

    // Where a link led, the kernel tells.
    QByteArray real = path;
    struct stat named{};
    if (::lstat(path.constData(), &named) != 0 || !sameFile(named, target->status)) {
        const QByteArray link = "/proc/self/fd/" + QByteArray::number(opened.get());
        real.resize(PATH_MAX);
        const ssize_t n = ::readlink(link.constData(), real.data(), size_t(real.size()));
        if (n <= 0 || n >= real.size())
            return fail(tr("Where its link leads could not be told (%1).")
                            .arg(qt_error_string(n < 0 ? errno : ENAMETOOLONG)));
        real.resize(n);
    }
    auto [folder, name] = splitPath(real);
    target->folder.reset(openFolder(folder));
    if (!target->folder.valid())
        return fail(qt_error_string(errno));
    // The folder must hold the very file that was opened.
    struct stat there{};
    if (::fstatat(target->folder.get(), name.constData(), &there, AT_SYMLINK_NOFOLLOW) != 0
        || !sameFile(there, target->status))
        return fail(tr("The file was moved or replaced while it was being saved."));
    target->folderPath = folder;
    target->name = name;
    target->file = std::move(opened);
    return true;
}

} // namespace SafeSave
