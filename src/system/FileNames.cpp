#include "FileNames.h"

#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

namespace FileNames {

namespace {

constexpr char16_t HeldByte = 0xDC00; // U+DC80..U+DCFF hold the bytes 0x80..0xFF

// The length of the UTF-8 sequence at bytes[at], or 0 where none starts.
int sequenceAt(const QByteArray &bytes, qsizetype at)
{
    const auto b = uchar(bytes[at]);
    int length = 0;
    char32_t min = 0;
    if (b < 0x80)
        return 1;
    if ((b & 0xE0) == 0xC0) {
        length = 2;
        min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3;
        min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    char32_t c = b & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        const auto next = uchar(bytes[at + i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and what lies past Unicode are no UTF-8.
    if (c < min || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        return 0;
    return length;
}

} // namespace

QString decode(const QByteArray &bytes)
{
    QString name;
    name.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        const int length = sequenceAt(bytes, at);
        if (length == 0) {
            name += QChar(char16_t(HeldByte + uchar(bytes[at])));
            ++at;
        } else {
            name += QString::fromUtf8(bytes.constData() + at, length);
            at += length;
        }
    }
    return name;
}

QByteArray encode(const QString &name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    for (qsizetype at = 0; at < name.size(); ++at) {
        const char16_t c = name.at(at).unicode();
        const bool pair = QChar::isHighSurrogate(c) && at + 1 < name.size() && name.at(at + 1).isLowSurrogate();
        if (pair) {
            bytes += QStringView(name).mid(at, 2).toUtf8();
            ++at;
        } else if (c >= HeldByte + 0x80 && c <= HeldByte + 0xFF) {
            bytes += char(c - HeldByte);
        } else {
            bytes += QStringView(name).mid(at, 1).toUtf8();
        }
    }
    return bytes;
}

QString display(const QString &name)
{
    QString shown = name;
    for (QChar &c : shown) {
        if (c.unicode() >= HeldByte + 0x80 && c.unicode() <= HeldByte + 0xFF)
            c = QChar::ReplacementCharacter;
    }
    return shown;
}

QString fromDialog(const QString &name)
{
    if (!name.contains(QChar::ReplacementCharacter) || !name.startsWith(u'/'))
        return name;
    // Folder by folder from the root: where a part of the name does not
    // exist as it stands, the one entry of its folder that a dialog would
    // show under that name.
    QByteArray path;
    const QStringList parts = name.split(u'/', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        QByteArray next = path + '/' + encode(part);
        struct stat status{};
        if (part.contains(QChar::ReplacementCharacter) && ::lstat(next.constData(), &status) != 0) {
            QByteArray found;
            int matches = 0;
            if (DIR *folder = ::opendir(path.isEmpty() ? "/" : path.constData())) {
                while (const dirent *entry = ::readdir(folder)) {
                    const QByteArray entryName(entry->d_name);
                    if (QFile::decodeName(entryName) == part) {
                        found = entryName;
                        ++matches;
                    }
                }
                ::closedir(folder);
            }
            if (matches != 1)
                return name;
            next = path + '/' + found;
        }
        path = next;
    }
    return decode(path);
}

} // namespace FileNames
