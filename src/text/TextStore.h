#pragma once
// The one store of a text: its characters in blocks (TextBlocks: a byte a
// character where a block's characters allow it, else UTF-16, positions
// counted in UTF-16 units) and an index of its lines. A line break of any kind (LF, CRLF, CR) is held as one "\n"
// character, and the index remembers which kind each line ends with, so the
// text can be written back exactly as it came. Every other character, U+2028
// and U+2029 included, is held as itself.

#include "LineBreak.h"
#include "LineIndex.h"
#include "TextBlocks.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

// A stretch of text taken out of a store, with the kind of each of its breaks,
// so that it can be put back exactly (the undo history keeps these).
struct TextSpan
{
    QString text;      // "\n" for each break
    QByteArray breaks; // one LineBreak per "\n" of text, in order
};

class TextStore
{
public:
    // Longest text a store can hold: positions are ints.
    static constexpr qsizetype MaxLength = 0x7FFFFFFF - 1;

    TextStore() = default;
    TextStore(TextStore &&) noexcept = default;
    TextStore &operator=(TextStore &&) noexcept = default;

    int length() const { return int(m_text.size()); }
    int lineCount() const { return m_lines.lineCount(); }
    int lineStart(int line) const { return m_lines.start(line); }
    // Where the line's text ends: at its break, or at the end of the text.
    int lineEnd(int line) const
    {
        return line + 1 < lineCount() ? m_lines.start(line + 1) - 1 : length();
    }
    int lineLength(int line) const { return lineEnd(line) - lineStart(line); }
    int lineOf(int position) const { return m_lines.lineOf(position); }
    LineBreak lineBreak(int line) const { return m_lines.lineBreak(line); }
    // The kind of the last break, or None when the text has none.
    LineBreak lastBreak() const;

    char16_t at(int position) const { return m_text.at(position); }
    // Characters from..from+count, breaks as "\n".
    QString text(int from, int count) const;
    QString text() const { return text(0, length()); }
    void copy(char16_t *out, int from, int count) const { m_text.copyOut(out, from, count); }
    TextSpan span(int from, int count) const;

    // Inserts text whose breaks may be written "\r\n", "\r" or "\n". Each
    // break keeps its own kind, or, with uniform set, becomes that kind.
    void insert(int position, QStringView text, LineBreak uniform = LineBreak::None);
    void insert(int position, const TextSpan &span);
    void remove(int from, int count);
    // [from, from + count) becomes span. Each of these edits throws
    // std::bad_alloc, changing nothing, where memory runs out.
    void replace(int from, int count, const TextSpan &span);
    // Replaces everything, breaks kept as they are written.
    void assign(QStringView text);
    // The text of piece after this one, taken over whole (its characters are
    // not copied): as a file read in pieces comes in. piece is empty after.
    void append(TextStore &&piece);

    // The first occurrence of pattern ("\n" matching any break) that starts
    // at or after from, or -1.
    int find(QStringView pattern, int from, Qt::CaseSensitivity cs) const;

    // The characters of [from, from + count) a block at a time, for reading
    // in bulk: each run is Latin-1 or UTF-16 (TextBlocks::Run); visit
    // returns false to stop.
    template <typename Visit>
    void forEachRun(int from, int count, Visit &&visit) const
    {
        m_text.forEachRun(from, count, std::forward<Visit>(visit));
    }
    // The whole block that holds position; no block ever ends inside a pair.
    TextBlocks::Run blockAt(int position) const { return m_text.blockAt(position); }
    // The memory the characters take, in bytes.
    qsizetype characterBytes() const { return m_text.bytes(); }

    // Changes with every change of the text (after which the characters may
    // have moved in memory), and differs between any two stores:
    // what was read of one, pointers into it included, stays good while it
    // is the same.
    quint64 version() const { return m_version; }

private:
    friend class TextBuilder;
    // text has a "\n" for each of breaks; count counts what replaces
    // [position, position + removed).
    void replaceNormalized(int position, int removed, const char16_t *text, int count, const quint8 *breaks,
                           qsizetype breakCount);
    void removeFromLines(int from, int count);
    void insertIntoLines(int position, const char16_t *text, int count, const quint8 *breaks);
    void changed();

    TextBlocks m_text;
    LineIndex m_lines;
    quint64 m_version = nextVersion();
    static quint64 nextVersion();
};
