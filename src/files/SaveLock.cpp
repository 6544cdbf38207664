#include "SaveLock.h"

#include <QtGlobal>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace SafeSave {

using namespace PosixFiles;

QByteArray privateRuntimeFolder()
{
    const QByteArray folder = qgetenv("XDG_RUNTIME_DIR");
    struct stat status{};
    if (folder.startsWith('/') && ::lstat(folder.constData(), &status) == 0 && S_ISDIR(status.st_mode)
        && status.st_uid == ::geteuid() && (status.st_mode & 077) == 0)
        return folder;
    return QByteArray();
}

SaveLock::~SaveLock()
{
    if (m_fd.valid())
        ::unlink(m_path.constData()); // while still held, so nobody locks a name that is going
}

bool SaveLock::take(const struct stat &file)
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

} // namespace SafeSave
