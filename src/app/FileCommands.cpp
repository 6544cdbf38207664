#include "FileCommands.h"

#include "ClipText.h"
#include "NoteFile.h"
#include "files/CommonDialog.h"
#include "files/ReadWithProgress.h"
#include "files/TextFile.h"
#include "ui/Program.h"

#include <QCoreApplication>
#include <QPointer>

namespace FileCommands {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("FileCommands", text);
}

// Sets up the dialog from the note's file and shows it; true when the user
// chose a name. The name box is read back after a Cancel too.
bool askForFile(NoteFile &file, CommonDialog &dialog, const QString &title, quint32 flags, bool save,
                QString *chosenName)
{
    bool accepted = true;
    dialog.setDialogTitle(title);
    dialog.setInitDir(file.initDirText());
    dialog.setFileName(file.clip_file_name);
    dialog.setFlags(flags);
    dialog.setFilter(QString::fromLatin1(TextFilter));
    dialog.setFilterIndex(1);
    if (!(save ? dialog.ShowSave() : dialog.ShowOpen()))
        accepted = false;
    *chosenName = dialog.FileName();
    if (!accepted)
        return false;
    file.clip_init_dir = dialog.InitDir();
    file.clip_file_name = *chosenName;
    return true;
}

} // namespace

bool load(const QString &path, NoteFile &file, ClipText &text, QString *failure)
{
    // The note shows the text as it comes; what it had comes back unless
    // the whole text came.
    QPointer<ClipText> note = &text;
    ReadWithProgress::Receiver receiver;
    receiver.piece = [note](TextStore &&piece, bool first) {
        if (!note)
            return;
        if (first)
            note->startReading(std::move(piece));
        else
            note->continueReading(std::move(piece));
    };
    receiver.ended = [note, &file](const TextFile::ReadResult &result) {
        if (!note)
            return;
        note->endReading(result.ok);
        if (result.ok)
            file.setFormat(result.format);
    };
    const TextFile::ReadResult read = ReadWithProgress::read(text.window(), path, receiver);
    failure->clear();
    if (!note || read.cancelled)
        return false; // the note keeps its text, or the program is ending
    if (!read.ok) {
        *failure = TextFile::readFailureMessage(path, read.error);
        return false;
    }
    return true;
}

void openFile(NoteFile &file, CommonDialog &dialog, ClipText &text)
{
    QString name;
    if (!askForFile(file, dialog, tr("Read File Into CLIP"), CommonDialog::OFN_FILEMUSTEXIST, false, &name))
        return;
    // Where the file cannot be read, the text area keeps its text; the name
    // and folder are already taken.
    QString failure;
    if (!load(name, file, text, &failure) && !failure.isEmpty())
        Program::showMessage(failure);
}

void saveFileAs(NoteFile &file, CommonDialog &dialog, const ClipText &text)
{
    QString name;
    if (!askForFile(file, dialog, tr("Save File From CLIP"),
                    CommonDialog::OFN_OVERWRITEPROMPT | CommonDialog::OFN_HIDEREADONLY, true, &name))
        return;

    // Each line with the break it came with, and a line end in the text's own
    // style after the last line where the text does not end with a break.
    TextCodec::Format written;
    QString error;
    if (!TextFile::save(name, text.document().store(), file.format(), &written, &error)) {
        Program::showMessage(TextFile::writeFailureMessage(name, error));
        return;
    }
    file.setFormat(written);
}

} // namespace FileCommands
