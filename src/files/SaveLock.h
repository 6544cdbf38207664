#pragma once
// One save of a file at a time among this user's saves: a lock named for
// the file in the user's own runtime folder, which nobody else can reach
// and so nobody else can hold. Where there is no such folder, saves are not
// held apart.

#include "PosixFiles.h"

#include <QByteArray>

namespace SafeSave {

// The user's own runtime folder ($XDG_RUNTIME_DIR where it is theirs
// alone); empty where there is none.
QByteArray privateRuntimeFolder();

class SaveLock
{
public:
    SaveLock() = default;
    SaveLock(const SaveLock &) = delete;
    SaveLock &operator=(const SaveLock &) = delete;
    ~SaveLock();

    // False, with errno EALREADY, while another save of the file holds it.
    bool take(const struct stat &file);

private:
    PosixFiles::Fd m_fd;
    QByteArray m_path;
};

} // namespace SafeSave
