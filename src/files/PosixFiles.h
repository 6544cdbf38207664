#pragma once
// Small helpers over the system's file calls, for the code that reads and
// writes the user's files: a descriptor that closes itself, whole writes and
// copies, renames that never replace, and folders synced to the disk.

#include <QByteArray>
#include <QtGlobal>

#include <sys/stat.h>
#include <functional>
#include <utility>
#include <vector>

namespace PosixFiles {

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
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() { reset(); }

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    void reset(int fd = -1);
    // Hands the descriptor to whoever closes it now.
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd = -1;
};

bool sameFile(const struct stat &a, const struct stat &b);

// Writes all of size bytes at offset, or sets errno.
bool writeAll(int fd, const char *bytes, qint64 size, qint64 offset);

// Copies size bytes from the start of one open file to the start of
// another, a piece at a time; errno says why not (EIO where the source
// turned out shorter).
bool copyBytes(int from, int to, qint64 size);

// Flushes a file to the disk; errno says why not.
bool sync(int fd);
// Flushes a folder's names to the disk. A folder this user may write in
// but not read can only be opened as a path, which the system will not
// sync for anyone: there the names go to the disk when the system takes them.
bool syncFolder(int fd);

// Renames within folders, failing with EEXIST where the new name is taken,
// where the file system can promise that.
bool renameNoReplace(int fromFolder, const QByteArray &from, int toFolder, const QByteArray &to);

// A path's folder and name ("." for a bare name).
std::pair<QByteArray, QByteArray> splitPath(const QByteArray &path);

// Opens a folder to make, rename and sync names in: for reading where one
// may, else one may enter and write in but not list.
int openFolder(const QByteArray &path);

// The names in an open folder that wanted accepts ("." and ".." left out);
// none where it cannot be listed.
std::vector<QByteArray> namesIn(int folder, const std::function<bool(const QByteArray &name)> &wanted);

// The mode a new file takes: 0666 less the user's umask, read without
// changing it for the other threads.
mode_t newFileMode();

} // namespace PosixFiles
