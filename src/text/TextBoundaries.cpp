#include "TextBoundaries.h"

#include <QTextBoundaryFinder>

namespace TextBoundaries {

namespace {

enum class Rule { Character, Word };

bool isHangul(char16_t c)
{
    return (c >= 0x1100 && c <= 0x11FF) || (c >= 0x3130 && c <= 0x318F) || (c >= 0xA960 && c <= 0xA97F)
        || (c >= 0xAC00 && c <= 0xD7FF);
}

// A character that never joins its neighbours into one cluster and that no
// cluster rule looks across: ASCII, and letters, digits, blanks and
// punctuation of the basic plane but for the few that do take part (Hangul
// jamo and syllables, two Thai and Lao vowels that cling to what precedes
// them, a Malayalam letter that clings to what follows, and the punctuation
// that emoji sequences may start with).
bool standsAlone(char16_t c)
{
    if (c < 0x80)
        return true;
    if (QChar::isSurrogate(c) || isHangul(c))
        return false;
    if (c == 0x0E33 || c == 0x0EB3 || c == 0x0D4E || c == 0x203C || c == 0x2049 || c == 0x3030 || c == 0x303D)
        return false;
    switch (QChar::category(char32_t(c))) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Other:
    case QChar::Number_DecimalDigit:
    case QChar::Separator_Space:
    case QChar::Punctuation_Connector:
    case QChar::Punctuation_Dash:
    case QChar::Punctuation_Open:
    case QChar::Punctuation_Close:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Punctuation_Other:
        return true;
    default:
        return false;
    }
}

bool isBlank(char16_t c)
{
    return c == u' ' || c == u'\t' || c == 0x3000;
}

bool isIdeograph(char16_t c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3041 && c <= 0x3096);
}

// Whether the rule always cuts at x and decides every other cut by what lies
// on its own side of x alone. For characters: between two characters that
// stand alone. For words: after a blank and before a character that stands
// alone and is no blank, or between two ideographs.
bool isFixedCut(const TextStore &store, int x, Rule rule)
{
    const char16_t before = store.at(x - 1);
    const char16_t after = store.at(x);
    if (rule == Rule::Character)
        return standsAlone(before) && standsAlone(after);
    return (isBlank(before) && standsAlone(after) && !isBlank(after))
        || (isIdeograph(before) && isIdeograph(after));
}

struct Window
{
    int start = 0;
    QString text;
    int end() const { return start + int(text.size()); }
};

// The line's text from a fixed cut at or before from to one at or after to
// (or the line's own ends): cut there, a finder sees what it would see in
// the whole line.
Window window(const TextStore &store, int line, int from, int to, Rule rule)
{
    const int lineStart = store.lineStart(line);
    const int lineEnd = store.lineEnd(line);
    from = qBound(lineStart, from, lineEnd);
    to = qBound(from, to, lineEnd);
    while (from > lineStart && !isFixedCut(store, from, rule))
        --from;
    while (to < lineEnd && !isFixedCut(store, to, rule))
        ++to;
    return {from, store.text(from, to - from)};
}

// Whether at falls between the two halves of a surrogate pair: never a place
// to stand, though Qt's finder may report one there (after an Indic
// consonant, in Qt 6.4).
bool splitsPair(const QString &text, qsizetype at)
{
    return at > 0 && at < text.size() && text.at(at - 1).isHighSurrogate() && text.at(at).isLowSurrogate();
}

qsizetype toNext(QTextBoundaryFinder &finder, const QString &text)
{
    qsizetype at = finder.toNextBoundary();
    while (at > 0 && splitsPair(text, at))
        at = finder.toNextBoundary();
    return at;
}

qsizetype toPrevious(QTextBoundaryFinder &finder, const QString &text)
{
    qsizetype at = finder.toPreviousBoundary();
    while (at > 0 && splitsPair(text, at))
        at = finder.toPreviousBoundary();
    return at;
}

char32_t codePointAt(const QString &text, qsizetype at)
{
    const char16_t c = text.at(at).unicode();
    if (QChar::isHighSurrogate(c) && at + 1 < text.size() && text.at(at + 1).isLowSurrogate())
        return QChar::surrogateToUcs4(c, text.at(at + 1).unicode());
    return c;
}

} // namespace

bool startsWord(char32_t c)
{
    return QChar::isLetterOrNumber(c) || QChar::isMark(c) || QChar::category(c) == QChar::Punctuation_Connector;
}

static bool insidePair(const TextStore &store, int position)
{
    return position > 0 && position < store.length() && QChar::isLowSurrogate(store.at(position))
        && QChar::isHighSurrogate(store.at(position - 1));
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

int nextCharacter(const TextStore &store, int position)
{
    if (position >= store.length())
        return store.length();
    position = qMax(0, position);
    if (store.at(position) == u'\n')
        return position + 1; // a break, whatever it is written with
    const Window w = window(store, store.lineOf(position), position, position + 1, Rule::Character);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, w.text);
    finder.setPosition(position - w.start);
    const qsizetype next = toNext(finder, w.text);
    return next > 0 ? w.start + int(next) : w.end();
}

int previousCharacter(const TextStore &store, int position)
{
    if (position <= 0)
        return 0;
    position = qMin(position, store.length());
    if (store.at(position - 1) == u'\n')
        return position - 1;
    const Window w = window(store, store.lineOf(position - 1), position - 1, position, Rule::Character);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, w.text);
    finder.setPosition(position - w.start);
    const qsizetype previous = toPrevious(finder, w.text);
    return previous >= 0 ? w.start + int(previous) : w.start;
}

int nextWordStart(const TextStore &store, int position)
{
    if (position >= store.length())
        return store.length();
    position = qMax(0, position);
    if (store.at(position) == u'\n')
        return position + 1;
    const int line = store.lineOf(position);
    const int lineEnd = store.lineEnd(line);
    for (int from = position; from < lineEnd;) {
        const Window w = window(store, line, from, from + Reach, Rule::Word);
        // A window after the first starts at a cut, which may begin a word.
        if (w.start > position && startsWord(codePointAt(w.text, 0)))
            return w.start;
        QTextBoundaryFinder finder(QTextBoundaryFinder::Word, w.text);
        finder.setPosition(from - w.start);
        for (qsizetype at = toNext(finder, w.text); at > 0 && at < w.text.size(); at = toNext(finder, w.text)) {
            if (startsWord(codePointAt(w.text, at)))
                return w.start + int(at);
        }
        from = w.end();
    }
    return lineEnd;
}

int previousWordStart(const TextStore &store, int position)
{
    if (position <= 0)
        return 0;
    position = qMin(position, store.length());
    if (store.at(position - 1) == u'\n')
        return position - 1;
    const int line = store.lineOf(position - 1);
    const int lineStart = store.lineStart(line);
    for (int to = position; to > lineStart;) {
        const Window w = window(store, line, to - Reach, to, Rule::Word);
        QTextBoundaryFinder finder(QTextBoundaryFinder::Word, w.text);
        finder.setPosition(to - w.start);
        for (qsizetype at = toPrevious(finder, w.text); at >= 0; at = toPrevious(finder, w.text)) {
            if (w.start + at < position && at < w.text.size() && startsWord(codePointAt(w.text, at)))
                return w.start + int(at);
            if (at == 0)
                break;
        }
        to = w.start;
    }
    return lineStart;
}

std::pair<int, int> wordAt(const TextStore &store, int position)
{
    position = qBound(0, position, store.length());
    const int line = store.lineOf(position);
    const int lineStart = store.lineStart(line);
    const int lineEnd = store.lineEnd(line);
    if (lineEnd == lineStart)
        return {position, position};
    if (position >= lineEnd)
        position = previousCharacter(store, lineEnd); // the last character, whole
    const Window w = window(store, line, position, position + 1, Rule::Word);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, w.text);
    finder.setPosition(position - w.start);
    const qsizetype start = finder.isAtBoundary() && !splitsPair(w.text, finder.position())
                                ? finder.position() : toPrevious(finder, w.text);
    finder.setPosition(position - w.start);
    const qsizetype end = toNext(finder, w.text);
    return {w.start + int(qMax<qsizetype>(0, start)), end > 0 ? w.start + int(end) : w.end()};
}

std::pair<int, int> lineAt(const TextStore &store, int position)
{
    const int line = store.lineOf(qBound(0, position, store.length()));
    const int end = line + 1 < store.lineCount() ? store.lineStart(line + 1) : store.length();
    return {store.lineStart(line), end};
}

} // namespace TextBoundaries
