#include "SideFiles.h"

#include <QHash>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace SafeSave {

using PosixFiles::Fd;

namespace {

// What stands between the file's name and the kind of a name beside it.
const QByteArray Marker = ".quillpad-";
constexpr int RandomLength = 12;
constexpr int Attempts = 16;

QByteArray kindWord(Kind kind)
{
    switch (kind) {
    case Kind::Partial: return "partial";
    case Kind::Save: return "save";
    case Kind::Old: return "old";
    }
    return {};
}

bool isRandomPart(QByteArrayView part)
{
    if (part.size() != RandomLength)
        return false;
    for (const char c : part) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// The file's name as it goes into the names beside it: one too long to
// leave room for the rest is cut, and told apart by a hash of it.
QByteArray stemOf(const QByteArray &name)
{
    constexpr qsizetype room = 255 - 1 - 10 /* Marker */ - 8 /* "partial-" */ - RandomLength;
    if (name.size() <= room)
        return name;
    const QByteArray hash = QByteArray::number(quint64(qHash(name, 0)), 16).rightJustified(16, '0');
    return name.left(room - hash.size() - 1) + '-' + hash;
}

QByteArray sideName(const QByteArray &stem, Kind kind)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray random(RandomLength, Qt::Uninitialized);
    for (char &c : random)
        c = alphabet[QRandomGenerator::system()->bounded(62)];
    return '.' + stemOf(stem) + Marker + kindWord(kind) + '-' + random;
}

} // namespace

bool isLeftoverOf(const QByteArray &name, const QByteArray &stem)
{
    const QByteArray start = '.' + stemOf(stem) + Marker;
    if (!name.startsWith(start))
        return false;
    const QByteArrayView rest = QByteArrayView(name).sliced(start.size());
    for (const Kind kind : {Kind::Partial, Kind::Save, Kind::Old}) {
        const QByteArray word = kindWord(kind);
        if (rest.startsWith(word + '-') && isRandomPart(rest.sliced(word.size() + 1)))
            return true;
    }
    // Earlier versions kept one fixed name of each kind.
    return '.' + stem + ".quillpad-save" == name || '.' + stem + ".quillpad-old" == name;
}

void removeLeftovers(int folder, const QByteArray &stem)
{
    const auto leftover = [&stem](const QByteArray &name) { return isLeftoverOf(name, stem); };
    for (const QByteArray &name : PosixFiles::namesIn(folder, leftover))
        removeUnheld(folder, name);
}

void removeUnheld(int folder, const QByteArray &name)
{
    const Fd fd(::openat(folder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status{};
    if (fd.valid() && ::fstat(fd.get(), &status) == 0 && S_ISREG(status.st_mode) && status.st_uid == ::geteuid()
        && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
        ::unlinkat(folder, name.constData(), 0);
}

SideFile::~SideFile()
{
    if (m_fd.valid() && m_folder >= 0)
        ::unlinkat(m_folder, m_name.constData(), 0);
}

bool SideFile::create(int folder, const QByteArray &folderPath, const QByteArray &stem)
{
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        const QByteArray name = sideName(stem, Kind::Partial);
        const int fd = ::openat(folder, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                                0600);
        if (fd >= 0) {
            // Held while it is in use, so that no other save takes it for a leftover.
            ::flock(fd, LOCK_EX | LOCK_NB);
            m_fd.reset(fd);
            m_folder = folder;
            m_folderPath = folderPath;
            m_stem = stem;
            m_name = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool SideFile::name(Kind kind)
{
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        const QByteArray name = sideName(m_stem, kind);
        if (PosixFiles::renameNoReplace(m_folder, m_name, m_folder, name)) {
            m_name = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool SideFile::takePlaceOf(const QByteArray &file, bool replacing)
{
    const bool placed = replacing ? ::renameat(m_folder, m_name.constData(), m_folder, file.constData()) == 0
                                  : PosixFiles::renameNoReplace(m_folder, m_name, m_folder, file);
    if (placed)
        m_folder = -1;
    return placed;
}

} // namespace SafeSave
