#pragma once
// The note's file: the name it was last opened from or saved to (or named on
// the command line), the folder the file dialogs start in, and the format
// its text is written back in. The program has one; start-up, Open, Save As
// and Get New Clip Text are handed it.

#include "files/TextCodec.h"

#include <QPointer>
#include <QString>
#include <optional>

class TextDocument;

class NoteFile
{
public:
    // The file last opened, saved or named on the command line.
    QString clip_file_name;
    // The folder in which the file dialogs start; unset reads as the empty text.
    std::optional<QString> clip_init_dir;
    QString initDirText() const { return clip_init_dir.value_or(QString()); }

    // How the text is written back: the encoding it came in and its own
    // line end, which breaks typed from now on take too.
    const TextCodec::Format &format() const { return m_format; }
    void setFormat(const TextCodec::Format &format);
    // The document that holds the note's text.
    void setDocument(TextDocument *document);

    // Nothing of a run is kept for the next.
    void forget();

private:
    TextCodec::Format m_format = TextCodec::platformFormat();
    QPointer<TextDocument> m_document;
};
