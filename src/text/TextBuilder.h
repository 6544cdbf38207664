#pragma once
// Builds a store from text that arrives in pieces, as a file is read: each
// piece is indexed for its lines as it goes in, every break turned into one
// "\n", and its characters go straight into the store's blocks (a piece of
// bytes into blocks of a byte a character). Nothing is copied afterwards.

#include "TextStore.h"

#include <QByteArrayView>

class TextBuilder
{
public:
    // expected: how many characters are likely to come; more may. Where this
    // is the first of several texts built one after the other (the pieces of
    // a text read in pieces), inAll: how many bytes they are likely to take
    // together.
    explicit TextBuilder(qsizetype expected = 0, qsizetype inAll = 0);
    TextBuilder(const TextBuilder &) = delete;
    TextBuilder &operator=(const TextBuilder &) = delete;

    void append(QStringView text);
    // Bytes that are each a character below U+0100 (ASCII, Latin-1).
    void appendLatin1(QByteArrayView bytes);

    // The characters so far (a carriage return at the very end may still
    // become part of a CRLF).
    qsizetype length() const { return m_store.m_text.size() + (m_carriageReturn ? 1 : 0); }
    // Ends the text and hands over the store; the builder is empty afterwards.
    TextStore take();

private:
    template <typename Char>
    void add(const Char *chars, qsizetype count);
    void addCharacters(const char *chars, qsizetype count) { m_store.m_text.appendLatin1(chars, count); }
    void addCharacters(const char16_t *chars, qsizetype count) { m_store.m_text.append(chars, count); }
    void addBreak(LineBreak kind);
    void addLatin1WithoutCarriageReturns(const char *chars, qsizetype count);

    bool m_carriageReturn = false; // a CR ended the last piece: its LF may begin the next
    TextStore m_store;
};
