#pragma once
// Replacing a file's content all or nothing, so that no other user of the
// machine can read, receive or block what is saved.
//
// The file is found by opening its name, so a symbolic link is followed only
// where the kernel would follow it for this user (fs.protected_symlinks); a
// user's own link to their own file saves to the file and keeps the link.
//
// A file with one name is replaced in one step by a new one written beside
// it; a file with more names (hard links), or one whose owner could not be
// kept that way, is written in place once its new and its old text are
// safely kept beside it. What is written beside the file is the user's
// alone (mode 0600 until it takes the file's place), made under a name
// nobody can guess and created only if nothing of that name exists:
//
//   .NAME.quillpad-partial-XXXXXXXXXXXX   being written; may be incomplete
//   .NAME.quillpad-save-XXXXXXXXXXXX      the whole new text
//   .NAME.quillpad-old-XXXXXXXXXXXX       the whole old text (written in place only)
//
// A text gets its "save" or "old" name only once it is complete on the disk.
// All of them go when the save is done; a save cut short (the program
// killed) may leave them, and the next save of the file removes those of
// this user's that no running save holds. Where the file's folder takes no
// new files, the new and old texts are kept in a folder of mode 0700 made
// for the save (under $XDG_RUNTIME_DIR, else the temporary folder), once the
// file itself has been opened for writing.

#include <QString>

#include <functional>

namespace SafeSave {

// Where the bytes go, a piece at a time; false stops the save, errno says why.
using Put = std::function<bool(const char *data, qint64 size)>;
// Puts out the whole new content through put; false where put refused it.
using Producer = std::function<bool(const Put &)>;

// Replaces the content of the file at path with what produce puts out; false
// with the system's reason in *error (the file then is exactly as it was).
bool write(const QString &path, const Producer &produce, QString *error);

// Whether name is one a save of the file stem leaves beside it.
bool isLeftoverOf(const QByteArray &name, const QByteArray &stem);

} // namespace SafeSave
