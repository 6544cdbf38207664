#include "SpareFolder.h"

#include "SideFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <vector>

namespace SafeSave {

using namespace PosixFiles;

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SafeSave", text);
}

// A place where spare folders are made: a folder of the user's own, or a
// shared one whose sticky bit keeps each user's folders to themselves.
struct Base
{
    QByteArray path;
    QByteArray prefix; // of the spare folders' names there
    bool shared = false; // made by the system, for more users than this one
};

QByteArray stateHome()
{
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    if (state.startsWith('/'))
        return state;
    const QByteArray home = qgetenv("HOME");
    return home.startsWith('/') ? home + "/.local/state" : QByteArray();
}

// The user's state folder first; then the temporary folder and /var/tmp,
// where each user's folders are kept apart by the sticky bit (or the
// temporary folder is the user's own).
std::vector<Base> bases()
{
    std::vector<Base> found;
    if (const QByteArray state = stateHome(); !state.isEmpty())
        found.push_back({state + "/quillpad", "save-", false});
    const QByteArray temporary = QFile::encodeName(QDir::tempPath());
    for (const QByteArray &shared : {temporary, QByteArray("/var/tmp")}) {
        if (found.empty() || found.back().path != shared)
            found.push_back({shared, "quillpad-save-", true});
    }
    return found;
}

QByteArray nameStart(const Base &base, const struct stat &file)
{
    return base.prefix + QByteArray::number(quint64(file.st_dev), 16) + '-'
        + QByteArray::number(quint64(file.st_ino), 16) + '-';
}

bool inMemory(const QByteArray &path)
{
    struct statfs where{};
    return ::statfs(path.constData(), &where) == 0
        && (where.f_type == TMPFS_MAGIC || where.f_type == RAMFS_MAGIC);
}

bool isOwnPrivateFolder(const QByteArray &path)
{
    struct stat status{};
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid()
        && (status.st_mode & 077) == 0;
}

// A folder all may write in, where the sticky bit keeps each one's names their own.
bool isSticky(const QByteArray &path)
{
    struct stat status{};
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) && (status.st_mode & S_ISVTX);
}

// Makes path and the folders above it that are missing, each of mode 0700
// and its name synced in the folder above; false with errno set.
bool makeFolders(const QByteArray &path)
{
    struct stat status{};
    if (::lstat(path.constData(), &status) == 0)
        return true;
    if (errno != ENOENT)
        return false;
    const QByteArray parent = splitPath(path).first;
    if (parent == path || !makeFolders(parent))
        return false;
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    const Fd above(openFolder(parent));
    return above.valid() && syncFolder(above.get());
}

} // namespace

SpareFolder::~SpareFolder()
{
    if (m_fd.valid() && !m_kept)
        ::rmdir(m_path.constData());
}

bool SpareFolder::make(const struct stat &file, QString *error)
{
    int why = 0;
    for (const Base &base : bases()) {
        if (!base.shared && !makeFolders(base.path)) {
            why = errno;
            continue;
        }
        const bool usable = isOwnPrivateFolder(base.path) || (base.shared && isSticky(base.path));
        if (!usable || inMemory(base.path))
            continue;
        QByteArray path = base.path + '/' + nameStart(base, file) + "XXXXXX";
        if (!::mkdtemp(path.data())) {
            why = errno;
            continue;
        }
        Fd folder(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        const Fd above(openFolder(base.path));
        if (!folder.valid() || !above.valid() || !syncFolder(above.get())) {
            why = errno;
            ::rmdir(path.constData());
            continue;
        }
        m_fd = std::move(folder);
        m_path = path;
        return true;
    }
    *error = why ? qt_error_string(why)
                 : tr("The folder takes no new files, and there is no private folder on a disk to keep "
                      "the file's texts in while it is written over.");
    return false;
}

void SpareFolder::removeLeftovers(const struct stat &file)
{
    for (const Base &base : bases()) {
        const Fd above(::open(base.path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!above.valid())
            continue;
        const QByteArray start = nameStart(base, file);
        const auto spareOfTheFile = [&start](const QByteArray &name) { return name.startsWith(start); };
        for (const QByteArray &name : namesIn(above.get(), spareOfTheFile)) {
            const Fd folder(::openat(above.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            struct stat status{};
            if (!folder.valid() || ::fstat(folder.get(), &status) != 0 || status.st_uid != ::geteuid())
                continue;
            for (const QByteArray &left : namesIn(folder.get(), [](const QByteArray &) { return true; }))
                removeUnheld(folder.get(), left);
            ::unlinkat(above.get(), name.constData(), AT_REMOVEDIR);
        }
    }
}

} // namespace SafeSave
