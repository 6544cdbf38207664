#include "CommonDialog.h"

#include <QDir>
#include <QFileInfo>
#include <QWidget>

CommonDialog::CommonDialog(QWidget *owner)
    : QObject(owner)
    , m_owner(owner)
{
    setObjectName(QStringLiteral("CMDialog1"));
}

QString CommonDialog::resolveFolder(const QString &initDir)
{
    if (initDir.isEmpty())
        return QString();
    QString folder = initDir;
    if (folder.startsWith(u'\\') && !folder.startsWith(QLatin1String("\\\\"))) {
        // A folder without a drive, such as "\tamsine", lies at the root of
        // the current drive: on Linux and macOS, the root of the file system.
        const QString root = QDir(QDir::currentPath()).rootPath();
        folder = root + folder.mid(1).replace(u'\\', u'/');
    } else {
        folder = QDir::fromNativeSeparators(folder);
    }
    return QFileInfo(folder).isDir() ? QDir::cleanPath(folder) : QString();
}

sys::FileDialogRequest CommonDialog::request(sys::FileDialogRequest::Kind kind) const
{
    sys::FileDialogRequest r;
    r.kind = kind;
    r.title = m_dialogTitle;
    r.directory = resolveFolder(m_initDir);
    r.fileName = m_fileName;

    const QStringList parts = m_filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts.at(i).isEmpty() && parts.at(i + 1).isEmpty())
            break;
        r.filterNames << parts.at(i);
        r.filterPatterns << parts.at(i + 1);
    }
    r.selectedFilter = r.filterNames.isEmpty()
                           ? 0
                           : qBound(0, m_filterIndex - 1, int(r.filterNames.size()) - 1);

    const bool open = kind == sys::FileDialogRequest::Kind::Open;
    r.existingFileOnly = open && (m_flags & OFN_FILEMUSTEXIST);
    r.confirmOverwrite = !open && (m_flags & OFN_OVERWRITEPROMPT);
    r.showReadOnlyBox = open && !(m_flags & OFN_HIDEREADONLY);
    return r;
}

bool CommonDialog::showFileDialog(sys::FileDialogRequest::Kind kind)
{
    const std::optional<QString> chosen = sys::services().fileDialogs->run(m_owner, request(kind));
    if (!chosen)
        return false; // Cancel
    m_fileName = QDir::toNativeSeparators(*chosen);
    m_initDir = QDir::toNativeSeparators(QFileInfo(*chosen).absolutePath());
    return true;
}

bool CommonDialog::ShowOpen()
{
    return showFileDialog(sys::FileDialogRequest::Kind::Open);
}

bool CommonDialog::ShowSave()
{
    return showFileDialog(sys::FileDialogRequest::Kind::Save);
}

bool CommonDialog::setAction(int action)
{
    switch (action) {
    case ShowOpenAction: return ShowOpen();
    case ShowSaveAction: return ShowSave();
    case ShowPrinterAction: return sys::services().printer->runSetupDialog(m_owner);
    default: return false;
    }
}
