#pragma once
// CMDialog1: the main window's common-dialog component. It keeps every
// setting from one use to the next and shows the open, save and printer
// dialogs. A Cancel comes back as a failure (false), so a command can go on
// with its next step and still tell a choice from a Cancel.

#include "system/SystemServices.h"

#include <QObject>
#include <QString>

class QWidget;

class CommonDialog : public QObject
{
    Q_OBJECT

public:
    // The option bits of the open and save dialogs that the program uses.
    enum Flag : quint32 {
        OFN_OVERWRITEPROMPT = 0x2,
        OFN_HIDEREADONLY = 0x4,
        OFN_FILEMUSTEXIST = 0x1000,
    };
    // The dialog-action values.
    enum Action { ShowOpenAction = 1, ShowSaveAction = 2, ShowPrinterAction = 5 };

    explicit CommonDialog(QWidget *owner);

    QString DialogTitle() const { return m_dialogTitle; }
    void setDialogTitle(const QString &title) { m_dialogTitle = title; }
    // After a dialog, the folder of the chosen file.
    QString InitDir() const { return m_initDir; }
    void setInitDir(const QString &folder) { m_initDir = folder; }
    // After a dialog, the full path of the chosen file.
    QString FileName() const { return m_fileName; }
    void setFileName(const QString &name) { m_fileName = name; }
    quint32 Flags() const { return m_flags; }
    void setFlags(quint32 flags) { m_flags = flags; }
    // Description and pattern pairs, every part ended by a bar.
    QString Filter() const { return m_filter; }
    void setFilter(const QString &filter) { m_filter = filter; }
    // 1 selects the first pair.
    int FilterIndex() const { return m_filterIndex; }
    void setFilterIndex(int index) { m_filterIndex = index; }

    bool ShowOpen();
    bool ShowSave();
    // Setting the dialog action shows that dialog at once.
    bool setAction(int action);

    // What the settings ask of a file dialog, in Qt's terms.
    sys::FileDialogRequest request(sys::FileDialogRequest::Kind kind) const;
    // The folder an InitDir text names here, or empty where it names none.
    static QString resolveFolder(const QString &initDir);

private:
    bool showFileDialog(sys::FileDialogRequest::Kind kind);

    QWidget *m_owner;
    QString m_dialogTitle;
    QString m_initDir;
    QString m_fileName;
    quint32 m_flags = 0;
    QString m_filter;
    int m_filterIndex = 0;
};
