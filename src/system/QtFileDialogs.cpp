#include "QtFileDialogs.h"

#include "FileNames.h"
#include "NameOnlyIconProvider.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>

namespace sys {

QString qtNameFilter(const QString &description, const QString &patterns)
{
    QStringList qtPatterns;
    for (const QString &pattern : patterns.split(u';', Qt::SkipEmptyParts)) {
        QString p = pattern.trimmed();
#ifndef Q_OS_WIN
        // "*.*" means every file where it comes from; here it would only
        // match names that contain a dot.
        if (p == QLatin1String("*.*"))
            p = QStringLiteral("*");
#endif
        qtPatterns << p;
    }
    if (qtPatterns.isEmpty())
        qtPatterns << QStringLiteral("*");
    return description + QLatin1String(" (") + qtPatterns.join(u' ') + u')';
}

// Qt's file dialog keeps its history, the folder last visited and its view in
// the user's settings ("QtProject"), writing them as it goes and reading them
// as it starts. The program keeps nothing between runs: its user settings lie
// where none can be read or written.
static void keepNoSettings()
{
    static const bool done = [] {
        for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null/quillpad-keeps-no-settings"));
        return true;
    }();
    Q_UNUSED(done);
}

std::optional<QString> QtFileDialogs::run(QWidget *parent, const FileDialogRequest &request)
{
    keepNoSettings();
    static NameOnlyIconProvider icons;
    QFileDialog dialog(parent, request.title, request.directory);
    // Qt's own dialog, the same on every desktop: a desktop's own may keep a
    // history of its own.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setIconProvider(&icons);
    const bool save = request.kind == FileDialogRequest::Kind::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.existingFileOnly ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    // The descriptions already name their patterns; show them as they are.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);

    QStringList filters;
    for (qsizetype i = 0; i < request.filterNames.size(); ++i)
        filters << qtNameFilter(request.filterNames.at(i), request.filterPatterns.value(i));
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.value(qBound(0, request.selectedFilter,
                                                     int(filters.size()) - 1)));
    }
    if (!request.fileName.isEmpty()) {
        const QString name = FileNames::display(request.fileName);
        dialog.selectFile(name);
        // Where the name's folder does not exist (a save that failed there),
        // Qt's dialog stays in a folder of its own and shows the name cut to
        // look relative to it ("/gone/x.txt" becomes "gone/x.txt"): the field
        // gets the whole name, as the dialog takes it when typed.
        const QFileInfo named(name);
        auto *field = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (field && named.isAbsolute() && !named.absoluteDir().exists())
            field->setText(name);
    }

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return std::nullopt;
    // The dialog decodes names itself, losing bytes that are not UTF-8.
    return FileNames::fromDialog(chosen.first());
}

} // namespace sys
