#pragma once
// Replacing a file's content all or nothing, so that no other user of the
// machine can read, receive or block what is saved, and so that a failing
// disk, a kill or a power cut at any moment leaves each text whole
// somewhere a user can find it.
//
// A file with one name is replaced in one step by a new one written beside
// it. A file with more names (hard links), or one whose owner could not be
// kept that way, is written in place, once its new and its old text are
// kept whole on the disk beside it (SideFiles.h tells their names), or in a
// spare folder where its own folder takes no new files (SpareFolder.h).
// Should writing over the file fail, the old text is put back; should that
// fail too, both copies stay and the failure says where they are.

#include <QString>

#include <functional>

namespace SafeSave {

// Where the bytes go, a piece at a time; false stops the save, errno says why.
using Put = std::function<bool(const char *data, qint64 size)>;
// Puts out the whole new content through put; false where put refused it.
using Producer = std::function<bool(const Put &)>;

// Why a save failed, and where each text is then.
struct Failure
{
    enum class File {
        AsItWas,      // the file holds its old text, whole
        HoldsNewText, // the file holds the new text, whose place on the disk was not confirmed
        MayBeDamaged, // written over in part: the copies below hold both texts whole
    };
    QString reason; // the system's own, where it gave one
    File file = File::AsItWas;
    QString oldTextKeptIn;
    QString newTextKeptIn;

    // The reason, then where the texts are where the file is not as it was.
    QString describe() const;
};

// Replaces the content of the file at path with what produce puts out;
// false with why, and where the texts are, in *failure.
bool write(const QString &path, const Producer &produce, Failure *failure);
// The same, with the failure described in words.
bool write(const QString &path, const Producer &produce, QString *error);

} // namespace SafeSave
