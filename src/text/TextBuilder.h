#pragma once
// Builds a store from text that arrives in pieces, as a file is read: the
// caller decodes each piece straight into the store's own buffer, and the
// builder indexes its lines in the same pass, turning every break into one
// "\n". Nothing is copied afterwards: the buffer becomes the store.

#include "TextStore.h"

class TextBuilder
{
public:
    // expected: how many characters are likely to come; more may.
    explicit TextBuilder(qsizetype expected = 0);
    ~TextBuilder();
    TextBuilder(const TextBuilder &) = delete;
    TextBuilder &operator=(const TextBuilder &) = delete;

    // Room for count more characters; write them there, then commit.
    char16_t *appendSpace(qsizetype count);
    void commit(qsizetype count);
    void append(QStringView text);

    // The characters so far (a carriage return at the very end may still
    // become part of a CRLF).
    qsizetype length() const { return m_written + m_pending; }
    // Ends the text and hands over the store; the builder is empty afterwards.
    TextStore take();

private:
    void scan(bool atEnd);

    char16_t *m_buffer = nullptr;
    qsizetype m_capacity = 0;
    qsizetype m_written = 0; // indexed, in their final place
    qsizetype m_pending = 0; // decoded after them, not yet indexed
    TextStore m_store;
};
