#include "NameOnlyIconProvider.h"

#include <QApplication>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStyle>

QIcon NameOnlyIconProvider::icon(IconType type) const
{
    QStyle *style = QApplication::style();
    switch (type) {
    case Computer: return style->standardIcon(QStyle::SP_ComputerIcon);
    case Desktop: return style->standardIcon(QStyle::SP_DesktopIcon);
    case Trashcan: return style->standardIcon(QStyle::SP_TrashIcon);
    case Network: return style->standardIcon(QStyle::SP_DriveNetIcon);
    case Drive: return style->standardIcon(QStyle::SP_DriveHDIcon);
    case Folder: return style->standardIcon(QStyle::SP_DirIcon);
    case File: break;
    }
    return style->standardIcon(QStyle::SP_FileIcon);
}

QIcon NameOnlyIconProvider::icon(const QFileInfo &info) const
{
    if (info.isRoot())
        return icon(Drive);
    return icon(info.isDir() ? Folder : File);
}

QString NameOnlyIconProvider::type(const QFileInfo &info) const
{
    if (info.isRoot())
        return QApplication::translate("NameOnlyIconProvider", "Drive");
    if (info.isDir())
        return QApplication::translate("NameOnlyIconProvider", "Folder");
    // By the name's ending alone.
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    if (!mime.isDefault() && !mime.comment().isEmpty())
        return mime.comment();
    return QApplication::translate("NameOnlyIconProvider", "File");
}
