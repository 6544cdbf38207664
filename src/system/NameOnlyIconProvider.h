#pragma once
// Icons and types for a file dialog from names alone. Qt's own provider asks
// the MIME database about each file it lists, which opens and reads the file
// (a FIFO, a device or /proc/kmsg can then stop the window for good); this
// one looks at nothing but whether an entry is a folder and at its name.

#include <QAbstractFileIconProvider>

class NameOnlyIconProvider : public QAbstractFileIconProvider
{
public:
    QIcon icon(IconType type) const override;
    QIcon icon(const QFileInfo &info) const override;
    QString type(const QFileInfo &info) const override;
};
