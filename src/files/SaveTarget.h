#pragma once
// The file a save writes, found by opening its name: a symbolic link is
// followed only where the kernel would follow it for this user
// (fs.protected_symlinks), and a user's own link to their own file leads
// the save to that file while the link stays.

#include "PosixFiles.h"

#include <QByteArray>
#include <QString>

namespace SafeSave {

struct Target
{
    PosixFiles::Fd folder; // the folder that holds it
    QByteArray folderPath; // that folder's path, for messages
    QByteArray name;       // its name there
    // The file itself, held for the whole save: its inode names the save's
    // lock, and may not go to another file while the lock is held.
    PosixFiles::Fd file;
    bool exists = false;
    bool madeEmpty = false; // made by this save, where a link led to nothing yet
    struct stat status{};
};

// Finds the file at path (the file's name as bytes); false with the reason in *error.
bool findTarget(const QByteArray &path, Target *target, QString *error);

} // namespace SafeSave
