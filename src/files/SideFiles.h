#pragma once
// The files a save writes beside the file it saves, and what their names
// say they hold:
//
//   .NAME.quillpad-partial-XXXXXXXXXXXX   being written; may be incomplete
//   .NAME.quillpad-save-XXXXXXXXXXXX      the whole new text
//   .NAME.quillpad-old-XXXXXXXXXXXX       the whole old text (written in place only)
//
// Each is the user's alone (mode 0600), made only where nothing of that name
// exists, under a random part nobody can guess, and named for what it holds
// only once that is complete on the disk.

#include "PosixFiles.h"

#include <QByteArray>

namespace SafeSave {

enum class Kind { Partial, Save, Old };

// Whether name is one a save of the file stem leaves beside it.
bool isLeftoverOf(const QByteArray &name, const QByteArray &stem);

// What saves of the file stem cut short left in a folder: only this user's
// own files, and none that a running save holds.
void removeLeftovers(int folder, const QByteArray &stem);
// Removes the file name in folder where it is a plain file of this user's
// that no running save holds.
void removeUnheld(int folder, const QByteArray &name);

// A file of the save's own, removed when it goes unless it took the file's
// place or is kept.
class SideFile
{
public:
    SideFile() = default;
    SideFile(const SideFile &) = delete;
    SideFile &operator=(const SideFile &) = delete;
    ~SideFile();

    // Makes a partial file for stem in folder (whose path is folderPath);
    // false, with errno set, where it cannot be made.
    bool create(int folder, const QByteArray &folderPath, const QByteArray &stem);
    // Once its content is on the disk: renamed to say what it holds. The
    // new name is on the disk only once the folder is synced.
    bool name(Kind kind);
    // Put in the file's place: it is the file now.
    bool takePlaceOf(const QByteArray &file, bool replacing);
    // Left where it is when the save ends: it holds a text the user needs.
    void keep() { m_folder = -1; }

    int fd() const { return m_fd.get(); }
    QByteArray path() const { return m_folderPath + '/' + m_name; }

private:
    PosixFiles::Fd m_fd;
    int m_folder = -1;
    QByteArray m_folderPath;
    QByteArray m_stem;
    QByteArray m_name;
};

} // namespace SafeSave
