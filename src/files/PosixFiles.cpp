#include "PosixFiles.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace PosixFiles {

namespace {

// Pieces are copied this large.
constexpr qint64 CopyPiece = 1 << 20;

} // namespace

void Fd::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

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

bool sync(int fd)
{
    while (::fsync(fd) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

bool syncFolder(int fd)
{
    if (sync(fd))
        return true;
    const int why = errno;
    const int flags = ::fcntl(fd, F_GETFL);
    if (why == EBADF && flags >= 0 && (flags & O_PATH))
        return true;
    errno = why;
    return false;
}

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

std::pair<QByteArray, QByteArray> splitPath(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return {QByteArray("."), path};
    return {slash == 0 ? QByteArray("/") : path.left(slash), path.mid(slash + 1)};
}

int openFolder(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 || errno != EACCES)
        return fd;
    return ::open(path.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

std::vector<QByteArray> namesIn(int folder, const std::function<bool(const QByteArray &name)> &wanted)
{
    std::vector<QByteArray> names;
    const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return names;
    DIR *entries = ::fdopendir(listing);
    if (!entries) {
        ::close(listing);
        return names;
    }
    while (const dirent *entry = ::readdir(entries)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != ".." && wanted(name))
            names.push_back(name);
    }
    ::closedir(entries);
    return names;
}

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

} // namespace PosixFiles
