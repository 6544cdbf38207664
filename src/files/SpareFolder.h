#pragma once
// Where an in-place save keeps the new and the old text when the file's
// own folder takes no new files: a folder of mode 0700 made for the save,
// on a disk (never only in memory, where a power cut would take the old text
// with it): in $XDG_STATE_HOME/quillpad (~/.local/state/quillpad), else in
// the temporary folder, else in /var/tmp. It is named for the file's device
// and inode, so that the next save of the file finds what a save cut short
// left there.

#include "PosixFiles.h"

#include <QByteArray>
#include <QString>

namespace SafeSave {

class SpareFolder
{
public:
    SpareFolder() = default;
    SpareFolder(const SpareFolder &) = delete;
    SpareFolder &operator=(const SpareFolder &) = delete;
    // Removed with the save (it is empty by then), unless kept.
    ~SpareFolder();

    // Makes the folder for the save of file, its name already on the disk;
    // false with the reason in *error.
    bool make(const struct stat &file, QString *error);
    // Left in place when the save ends: it holds a text the user needs.
    void keep() { m_kept = true; }

    int fd() const { return m_fd.get(); }
    QByteArray path() const { return m_path; }

    // What saves of file cut short left in their spare folders: only this
    // user's own, and none that a running save holds.
    static void removeLeftovers(const struct stat &file);

private:
    PosixFiles::Fd m_fd;
    QByteArray m_path;
    bool m_kept = false;
};

} // namespace SafeSave
