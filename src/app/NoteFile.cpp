#include "NoteFile.h"

#include "text/TextDocument.h"

void NoteFile::setFormat(const TextCodec::Format &format)
{
    m_format = format;
    if (m_document)
        m_document->setNewLineBreak(format.lineBreak);
}

void NoteFile::setDocument(TextDocument *document)
{
    m_document = document;
    setFormat(m_format);
}

void NoteFile::forget()
{
    clip_file_name.clear();
    clip_init_dir.reset();
    m_format = TextCodec::platformFormat();
    m_document = nullptr;
}
