#include "TextBoundaries.h"

#include <QChar>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/utext.h>

#include <memory>

namespace TextBoundaries {

namespace {

// ---- a line of the store, as ICU reads text ------------------------------------
//
// The store keeps its text in blocks. A line's UText hands ICU the part of
// a block that lies in the line: a block of UTF-16 as it is, one of a byte a
// character widened into the UText's own room. No block ends inside a
// surrogate pair, so every part reads on its own. Native indexes are the
// line's own UTF-16 offsets.
//
// context: the store; a: where the line starts in it; b: its length;
// r: the block of a byte a character last widened into the room, and c
// where that part starts, so that it is not widened again.

constexpr int32_t RoomUnits = int32_t(TextBlocks::BlockLimit + 2);

void useChunk(UText *ut, const UChar *chars, int64_t start, int64_t limit, int64_t index)
{
    ut->chunkContents = chars;
    ut->chunkNativeStart = start;
    ut->chunkNativeLimit = limit;
    ut->chunkLength = int32_t(limit - start);
    ut->nativeIndexingLimit = ut->chunkLength;
    ut->chunkOffset = int32_t(index - start);
}

UBool lineAccess(UText *ut, int64_t index, UBool forward)
{
    const auto *store = static_cast<const TextStore *>(ut->context);
    const int64_t lineStart = ut->a;
    const int64_t length = ut->b;
    if (length == 0) {
        useChunk(ut, static_cast<const UChar *>(ut->pExtra), 0, 0, 0);
        return false;
    }
    index = qBound<int64_t>(0, index, length);
    // The character at index going forward, the one before it going back.
    const bool beyond = forward ? index >= length : index <= 0;
    const int64_t at = forward ? qMin(index, length - 1) : qMax<int64_t>(index - 1, 0);
    const TextBlocks::Run block = store->blockAt(int(lineStart + at));
    const int64_t from = qMax<int64_t>(block.start, lineStart);
    const int64_t to = qMin<int64_t>(block.start + block.length, lineStart + length);
    const UChar *chars = nullptr;
    if (block.utf16) {
        chars = reinterpret_cast<const UChar *>(block.utf16 + (from - block.start));
    } else {
        auto *room = static_cast<UChar *>(ut->pExtra);
        if (ut->r != block.latin1 || ut->c != from) {
            const char *latin1 = block.latin1 + (from - block.start);
            for (int64_t i = 0; i < to - from; ++i)
                room[i] = UChar(uchar(latin1[i]));
            ut->r = block.latin1;
            ut->c = from;
        }
        chars = room;
    }
    useChunk(ut, chars, from - lineStart, to - lineStart, index);
    return !beyond;
}

int64_t lineLength(UText *ut)
{
    return ut->b;
}

int32_t lineExtract(UText *ut, int64_t start, int64_t limit, UChar *dest, int32_t capacity, UErrorCode *status)
{
    if (U_FAILURE(*status))
        return 0;
    if (capacity < 0 || (dest == nullptr && capacity > 0) || start > limit) {
        *status = U_ILLEGAL_ARGUMENT_ERROR;
        return 0;
    }
    const int64_t length64 = ut->b;
    start = qBound(int64_t(0), start, length64);
    limit = qBound(start, limit, length64);
    const int32_t length = int32_t(limit - start);
    const auto *store = static_cast<const TextStore *>(ut->context);
    store->copy(reinterpret_cast<char16_t *>(dest), int(ut->a + start), qMin(length, capacity));
    // Ended as ICU's own strings are: with a 0 where there is room for it.
    if (length < capacity)
        dest[length] = 0;
    else if (length == capacity)
        *status = U_STRING_NOT_TERMINATED_WARNING;
    else
        *status = U_BUFFER_OVERFLOW_ERROR;
    return length;
}

UText *lineClone(UText *dest, const UText *src, UBool, UErrorCode *status);

void lineClose(UText *)
{
    // The store is not the UText's.
}

const UTextFuncs LineFuncs = {
    sizeof(UTextFuncs), 0, 0, 0, lineClone, lineLength, lineAccess, lineExtract, nullptr, nullptr,
    nullptr, nullptr, lineClose, nullptr, nullptr, nullptr,
};

// A UText over the store's line from start, length long, made in ut (or anew).
UText *openLine(UText *ut, const TextStore &store, int start, int length, UErrorCode *status)
{
    ut = utext_setup(ut, RoomUnits * int32_t(sizeof(UChar)), status);
    if (U_FAILURE(*status))
        return ut;
    ut->pFuncs = &LineFuncs;
    ut->context = &store;
    ut->a = start;
    ut->b = length;
    ut->r = nullptr;
    ut->c = -1;
    lineAccess(ut, 0, true);
    return ut;
}

UText *lineClone(UText *dest, const UText *src, UBool, UErrorCode *status)
{
    dest = openLine(dest, *static_cast<const TextStore *>(src->context), int(src->a), src->b, status);
    if (U_SUCCESS(*status))
        lineAccess(dest, src->chunkNativeStart + src->chunkOffset, true);
    return dest;
}

// ---- what ICU found, kept while it holds ----------------------------------------

enum class Rule { Character, Word };

// The iterators over the line last asked about: ICU keeps what it found in
// them (a dictionary's words for a long run of Thai, say), which holds while
// the store and the line are the same.
class Reading
{
public:
    ~Reading()
    {
        if (m_text)
            utext_close(m_text);
    }

    icu::BreakIterator &over(const TextStore &store, int line, Rule rule)
    {
        const int start = store.lineStart(line);
        if (&store != m_store || store.version() != m_version || start != m_start) {
            UErrorCode status = U_ZERO_ERROR;
            m_text = openLine(m_text, store, start, store.lineLength(line), &status);
            m_store = &store;
            m_version = store.version();
            m_start = start;
            m_characterText = m_wordText = false;
        }
        std::unique_ptr<icu::BreakIterator> &iterator = rule == Rule::Character ? m_characters : m_words;
        bool &current = rule == Rule::Character ? m_characterText : m_wordText;
        UErrorCode status = U_ZERO_ERROR;
        if (!iterator) {
            iterator.reset(rule == Rule::Character ? icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status)
                                                   : icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), status));
            if (U_FAILURE(status) || !iterator)
                qFatal("ICU has no %s break iterator: %s", rule == Rule::Character ? "character" : "word",
                       u_errorName(status));
        }
        if (!current) {
            iterator->setText(m_text, status);
            current = true;
        }
        return *iterator;
    }

private:
    const TextStore *m_store = nullptr;
    quint64 m_version = 0;
    int m_start = -1;
    UText *m_text = nullptr;
    std::unique_ptr<icu::BreakIterator> m_characters;
    std::unique_ptr<icu::BreakIterator> m_words;
    bool m_characterText = false;
    bool m_wordText = false;
};

icu::BreakIterator &iterator(const TextStore &store, int line, Rule rule)
{
    static thread_local Reading reading;
    return reading.over(store, line, rule);
}

bool insidePair(const TextStore &store, int position)
{
    return position > 0 && position < store.length() && QChar::isLowSurrogate(store.at(position))
        && QChar::isHighSurrogate(store.at(position - 1));
}

char32_t codePointAt(const TextStore &store, int position)
{
    const char16_t c = store.at(position);
    if (QChar::isHighSurrogate(c) && position + 1 < store.length() && QChar::isLowSurrogate(store.at(position + 1)))
        return QChar::surrogateToUcs4(c, store.at(position + 1));
    return c;
}

} // namespace

bool startsWord(char32_t c)
{
    return QChar::isLetterOrNumber(c) || QChar::isMark(c) || QChar::category(c) == QChar::Punctuation_Connector;
}

int codePointStart(const TextStore &store, int position)
{
    position = qBound(0, position, store.length());
    return insidePair(store, position) ? position - 1 : position;
}

int codePointEnd(const TextStore &store, int position)
{
    position = qBound(0, position, store.length());
    return insidePair(store, position) ? position + 1 : position;
}

bool isCharacterStart(const TextStore &store, int position)
{
    if (position <= 0 || position >= store.length())
        return position == 0 || position == store.length();
    if (store.at(position - 1) == u'\n' || store.at(position) == u'\n')
        return true;
    const int line = store.lineOf(position);
    const int start = store.lineStart(line);
    return iterator(store, line, Rule::Character).isBoundary(position - start);
}

int nextCharacter(const TextStore &store, int position)
{
    if (position >= store.length())
        return store.length();
    position = qMax(0, position);
    if (store.at(position) == u'\n')
        return position + 1; // a break, whatever it is written with
    const int line = store.lineOf(position);
    const int start = store.lineStart(line);
    const int32_t next = iterator(store, line, Rule::Character).following(position - start);
    return next == icu::BreakIterator::DONE ? store.lineEnd(line) : codePointEnd(store, start + next);
}

int previousCharacter(const TextStore &store, int position)
{
    if (position <= 0)
        return 0;
    position = qMin(position, store.length());
    if (store.at(position - 1) == u'\n')
        return position - 1;
    // From inside a surrogate pair, back to where its character starts.
    position = codePointEnd(store, position);
    const int line = store.lineOf(position - 1);
    const int start = store.lineStart(line);
    const int32_t previous = iterator(store, line, Rule::Character).preceding(position - start);
    return previous == icu::BreakIterator::DONE ? start : codePointStart(store, start + previous);
}

namespace {

// Where the character that position is in (or starts) begins.
int characterContaining(const TextStore &store, int position)
{
    if (position <= 0 || position >= store.length() || isCharacterStart(store, position))
        return qBound(0, position, store.length());
    return previousCharacter(store, position);
}

} // namespace

int nextWordStart(const TextStore &store, int position)
{
    if (position >= store.length())
        return store.length();
    position = qMax(0, position);
    if (store.at(position) == u'\n')
        return position + 1;
    const int line = store.lineOf(position);
    const int start = store.lineStart(line);
    const int end = store.lineEnd(line);
    icu::BreakIterator &words = iterator(store, line, Rule::Word);
    for (int32_t at = words.following(position - start); at != icu::BreakIterator::DONE && start + at < end;
         at = words.next()) {
        // A word that begins inside a character begins with that character.
        const int wordStart = characterContaining(store, start + at);
        if (wordStart > position && startsWord(codePointAt(store, codePointStart(store, start + at))))
            return wordStart;
    }
    return end;
}

int previousWordStart(const TextStore &store, int position)
{
    if (position <= 0)
        return 0;
    position = qMin(position, store.length());
    if (store.at(position - 1) == u'\n')
        return position - 1;
    // From inside a character, from where it ends.
    if (!isCharacterStart(store, position))
        position = nextCharacter(store, characterContaining(store, position));
    const int line = store.lineOf(position - 1);
    const int start = store.lineStart(line);
    icu::BreakIterator &words = iterator(store, line, Rule::Word);
    for (int32_t at = words.preceding(position - start); at != icu::BreakIterator::DONE; at = words.previous()) {
        const int wordStart = characterContaining(store, start + at);
        if (wordStart < position && startsWord(codePointAt(store, codePointStart(store, start + at))))
            return wordStart;
    }
    return start;
}

bool isWordBoundary(const TextStore &store, int position)
{
    if (position <= 0 || position >= store.length())
        return true;
    if (store.at(position - 1) == u'\n' || store.at(position) == u'\n')
        return true;
    const int line = store.lineOf(position);
    return isCharacterStart(store, position)
        && iterator(store, line, Rule::Word).isBoundary(position - store.lineStart(line));
}

std::pair<int, int> wordAt(const TextStore &store, int position)
{
    position = qBound(0, position, store.length());
    const int line = store.lineOf(position);
    const int start = store.lineStart(line);
    const int end = store.lineEnd(line);
    if (end == start)
        return {position, position};
    if (position >= end)
        position = previousCharacter(store, end); // the last character, whole
    position = codePointStart(store, position);
    icu::BreakIterator &words = iterator(store, line, Rule::Word);
    const int offset = position - start;
    int32_t from = words.isBoundary(offset) ? offset : words.preceding(offset);
    int32_t to = words.following(offset);
    from = from == icu::BreakIterator::DONE ? 0 : from;
    to = to == icu::BreakIterator::DONE ? end - start : to;
    // Whole characters: a boundary inside one takes it all.
    const int last = characterContaining(store, qMax(start, start + to - 1));
    return {characterContaining(store, start + from), qMax(start + to, nextCharacter(store, last))};
}

std::pair<int, int> lineAt(const TextStore &store, int position)
{
    const int line = store.lineOf(qBound(0, position, store.length()));
    const int end = line + 1 < store.lineCount() ? store.lineStart(line + 1) : store.length();
    return {store.lineStart(line), end};
}

} // namespace TextBoundaries
