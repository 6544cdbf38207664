#include "FileCommands.h"

#include "ClipText.h"
#include "frm_Quillpad.h"
#include "Module1.h"
#include "files/CommonDialog.h"
#include "files/ReadWithProgress.h"
#include "files/TextFile.h"

#include <QCoreApplication>
#include <QPointer>

namespace FileCommands {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("FileCommands", text);
}

// Sets up the dialog from the shared state and shows it; true when the user
// chose a name. The name box is read back after a Cancel too.
bool askForFile(CommonDialog &dialog, const QString &title, quint32 flags, bool save,
                QString *chosenName)
{
    bool accepted = true;
    dialog.setDialogTitle(title);
    dialog.setInitDir(Module1::clipInitDirText());
    dialog.setFileName(Module1::clip_file_name);
    dialog.setFlags(flags);
    dialog.setFilter(QString::fromLatin1(TextFilter));
    dialog.setFilterIndex(1);
    if (!(save ? dialog.ShowSave() : dialog.ShowOpen()))
        accepted = false;
    *chosenName = dialog.FileName();
    if (!accepted)
        return false;
    Module1::clip_init_dir = dialog.InitDir();
    Module1::clip_file_name = *chosenName;
    return true;
}

} // namespace

void openFile(frm_Quillpad &frm)
{
    QString name;
    if (!askForFile(frm.CMDialog1(), tr("Read File Into CLIP"), CommonDialog::OFN_FILEMUSTEXIST,
                    false, &name))
        return;

    QPointer<frm_Quillpad> window = &frm;
    TextFile::ReadResult file = ReadWithProgress::read(&frm, name);
    if (file.cancelled || !window)
        return; // the note keeps its text
    if (!file.ok) {
        // The text area keeps its text; the name and folder are already taken.
        Module1::MsgBox(TextFile::readFailureMessage(name, file.error));
        return;
    }
    frm.loadText(std::move(file.text), file.format);
}

void saveFileAs(frm_Quillpad &frm)
{
    QString name;
    if (!askForFile(frm.CMDialog1(), tr("Save File From CLIP"),
                    CommonDialog::OFN_OVERWRITEPROMPT | CommonDialog::OFN_HIDEREADONLY, true, &name))
        return;

    // Each line with the break it came with, and a line end in the text's own
    // style after the last line where the text does not end with a break.
    TextCodec::Format written;
    QString error;
    if (!TextFile::save(name, frm.clipText()->document().store(), frm.textFormat(), &written, &error)) {
        Module1::MsgBox(TextFile::writeFailureMessage(name, error));
        return;
    }
    frm.setTextFormat(written);
}

} // namespace FileCommands
