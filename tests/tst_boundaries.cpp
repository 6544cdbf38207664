// Characters, words and lines as the engine finds them, reading the store
// where it lies (both sides of its gap), against ICU run over a copy of each
// whole line.

#include "text/TextBoundaries.h"
#include "text/TextStore.h"

#include <QRandomGenerator>
#include <QTest>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer freed memory is filled, so that text read where it
// no longer is shows in the answers (ICU itself is not instrumented).
extern "C" const char *__asan_default_options()
{
    return "max_free_fill_size=16777216:free_fill_byte=42";
}
#endif

namespace {

// Pieces of text whose boundaries the rules treat in every way they can.
const QStringList Atoms = {
    "a", "Zq", "42", " ", "  ", "\t", ".", ",", ":", "'", "\"", "_", "-", "don't", "3.14", "e\u0301",
    "a\u0308\u0301\u0323", "\u00E9t\u00E9", "\u0438\u0437 \u0441\u043B\u043E\u0432", "\U0001F600",
    "\U0001F44D\U0001F3FD", "\U0001F469\u200D\U0001F4BB", "\U0001F1E9\U0001F1EA", "\U0001F1EB",
    "\u6F22\u5B57", "\u3072\u3089", "\u30AB\u30BF", "\uD55C\uAE00", "\u1100\u1161\u11A8",
"\u05E9\u05B8\"\u05DC", "\u0627\u0644\u0639", "\u3000", "\u00A0",
    "\u200B", "\u2028", "\u00A9\uFE0F", "\u203C", "\x01", "\u0301", "\u200D", "\uFF76\uFF9E",
    "\u0E20\u0E32\u0E29\u0E32\u0E44\u0E17\u0E22", "(", "\u0915\u094D\u0937", "\u0915\U0001F600",
    "\u0E9E\u0EB2\u0EAA\u0EB2", "\u1797\u17B6\u179F\u17B6", "\u1019\u103C\u1014\u103A",
    "\U0001F1E6\U0001F1E8\U0001F1E6", "\U0001F468\u200D\U0001F469\u200D\U0001F467",
};

QString randomLine(QRandomGenerator &random, int atoms)
{
    QString line;
    for (int i = 0; i < atoms; ++i) {
        const QString &atom = Atoms.at(random.bounded(int(Atoms.size())));
        // Now and then a long run of one atom: it keeps the window reading on.
        const int repeat = random.bounded(12) == 0 ? 20 + random.bounded(200) : 1;
        for (int r = 0; r < repeat; ++r)
            line += atom;
    }
    return line;
}

enum class Kind { Character, Word };

// Every boundary of the line, by ICU reading all of it at once.
std::vector<int> boundaries(Kind kind, const QString &line)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> finder(
        kind == Kind::Character ? icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status)
                                : icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), status));
    const icu::UnicodeString text(reinterpret_cast<const UChar *>(line.utf16()), int32_t(line.size()));
    finder->setText(text);
    std::vector<int> found;
    for (int32_t at = finder->first(); at != icu::BreakIterator::DONE; at = finder->next())
        found.push_back(at);
    return found;
}

char32_t codePointAt(const QString &text, int at)
{
    if (at + 1 < text.size() && text.at(at).isHighSurrogate() && text.at(at + 1).isLowSurrogate())
        return QChar::surrogateToUcs4(text.at(at), text.at(at + 1));
    return text.at(at).unicode();
}

struct Line
{
    int start;
    QString text;
    std::vector<int> characters;
    std::vector<int> words;
    std::vector<int> wordStarts;
};

int after(const std::vector<int> &cuts, int offset)
{
    return *std::upper_bound(cuts.begin(), cuts.end(), offset);
}

int before(const std::vector<int> &cuts, int offset)
{
    return *(std::lower_bound(cuts.begin(), cuts.end(), offset) - 1);
}

// Where the character at (or that at is inside) starts, and where it ends.
int characterStart(const Line &line, int at)
{
    return *(std::upper_bound(line.characters.begin(), line.characters.end(), at) - 1);
}

int characterEnd(const Line &line, int at)
{
    return std::binary_search(line.characters.begin(), line.characters.end(), at) ? at : after(line.characters, at);
}

// What each function must answer at offset `at` of the line (not at its end):
// ICU's words, taken by whole characters (a word that ICU begins inside a
// character begins with that character).
void compareAt(const TextStore &store, const Line &line, int at)
{
    const int p = line.start + at;
    const int end = int(line.text.size());
    QCOMPARE(TextBoundaries::isCharacterStart(store, p), std::binary_search(line.characters.begin(), line.characters.end(), at));
    QCOMPARE(TextBoundaries::nextCharacter(store, p), line.start + after(line.characters, at));
    if (at > 0)
        QCOMPARE(TextBoundaries::previousCharacter(store, p), line.start + before(line.characters, at));
    const auto next = std::upper_bound(line.wordStarts.begin(), line.wordStarts.end(), at);
    QCOMPARE(TextBoundaries::nextWordStart(store, p), line.start + (next == line.wordStarts.end() ? end : *next));
    if (at > 0) {
        const auto previous = std::lower_bound(line.wordStarts.begin(), line.wordStarts.end(), at);
        QCOMPARE(TextBoundaries::previousWordStart(store, p),
                 line.start + (previous == line.wordStarts.begin() ? 0 : *(previous - 1)));
    }
    const bool wordBoundary = std::binary_search(line.words.begin(), line.words.end(), at);
    QCOMPARE(TextBoundaries::isWordBoundary(store, p),
             wordBoundary && std::binary_search(line.characters.begin(), line.characters.end(), at));
    const int from = characterStart(line, wordBoundary ? at : before(line.words, at));
    QCOMPARE(TextBoundaries::wordAt(store, p),
             std::make_pair(line.start + from, line.start + characterEnd(line, after(line.words, at))));
}

} // namespace

class tst_Boundaries : public QObject
{
    Q_OBJECT

private slots:
    void againstIcuOverTheWholeLine();
    void lineEndsAndBreaks();
    void oneWordRule();
    void readingSurvivesTheTextMoving();
};

void tst_Boundaries::againstIcuOverTheWholeLine()
{
    QRandomGenerator random(15);
    for (int round = 0; round < 60; ++round) {
        QStringList texts;
        for (int i = 0, n = 1 + random.bounded(4); i < n; ++i)
            texts << randomLine(random, random.bounded(round < 30 ? 12 : 120));
        static const char *const breaks[] = {"\n", "\r\n", "\r"};
        QString whole;
        for (int i = 0; i < texts.size(); ++i)
            whole += texts[i] + (i + 1 < texts.size() ? QString::fromLatin1(breaks[random.bounded(3)]) : QString());
        TextStore store;
        store.assign(whole);
        // The gap goes into the lines, as typing puts it, now and then
        // between the two halves of a surrogate pair.
        auto moveGap = [&](int at) {
            store.insert(at, u"x");
            store.remove(at, 1);
        };
        if (store.length() > 2)
            moveGap(random.bounded(store.length()));
        for (int number = 0; number < store.lineCount(); ++number) {
            const int start = store.lineStart(number);
            const QString text = store.text(start, store.lineLength(number));
            Line line{start, text, boundaries(Kind::Character, text), boundaries(Kind::Word, text), {}};
            for (int cut : line.words) {
                const int wordStart = characterStart(line, cut);
                if (cut < text.size() && TextBoundaries::startsWord(codePointAt(text, cut))
                    && (line.wordStarts.empty() || line.wordStarts.back() != wordStart))
                    line.wordStarts.push_back(wordStart);
            }
            for (int at = 1; at < text.size() && round % 4 == 0; ++at) {
                if (text.at(at).isLowSurrogate()) {
                    moveGap(start + at);
                    break;
                }
            }
            // Every offset of short lines; of long ones, a sample.
            std::vector<int> offsets;
            for (int at = 0; at < text.size(); ++at) {
                if (text.size() < 300 || random.bounded(int(text.size())) < 200)
                    offsets.push_back(at);
            }
            for (int at : offsets) {
                compareAt(store, line, at);
                if (QTest::currentTestFailed()) {
                    qWarning() << "line" << text << "offset" << at;
                    return;
                }
            }
        }
    }

    // A word after a bracket, in a script of its own: Ctrl+Right from the
    // blank stops at it, and a double click takes it alone.
    TextStore store;
    store.assign(u"x (\u0E20\u0E32\u0E29\u0E32 x");
    QCOMPARE(TextBoundaries::nextWordStart(store, 2), 3);
    QCOMPARE(TextBoundaries::wordAt(store, 4), std::make_pair(3, 7));

    // Where ICU's words begin inside a character, the word takes it whole:
    // a Thai SARA AM after a character of another script, the Arabic number
    // sign before its digits, a Hangul syllable and a trailing jamo.
    store.assign(u"\u304C\u0E33 b");
    QCOMPARE(TextBoundaries::nextWordStart(store, 0), 3); // Ctrl+Delete takes both
    store.assign(u"x \u0600\u0661\u0662 y");
    QCOMPARE(TextBoundaries::nextWordStart(store, 0), 2); // the sign stays with its digits
    QCOMPARE(TextBoundaries::previousWordStart(store, 5), 2);
    store.assign(u"\uAC00\u11A8 \uAC00\u11A8");
    QCOMPARE(TextBoundaries::wordAt(store, 0), std::make_pair(0, 2));
    QCOMPARE(TextBoundaries::nextWordStart(store, 0), 3);
    QVERIFY(!TextBoundaries::isWordBoundary(store, 1));
}

void tst_Boundaries::readingSurvivesTheTextMoving()
{
    // A long line of letters with marks, read once; edits at its start then
    // build the block that was read anew (the old one freed, which the
    // sanitizers' run of this test watches), the text the same after each
    // pair: what is read after reads the text where it is now.
    QString line;
    for (int i = 0; i < 40000; ++i)
        line += QStringLiteral("a\u0301b");
    TextStore store;
    store.assign(line);
    QCOMPARE(TextBoundaries::nextCharacter(store, 0), 2);
    QCOMPARE(TextBoundaries::nextWordStart(store, 0), line.size());
    for (int round = 0; round < 3; ++round) {
        const int added = 1 << (16 + round);
        store.insert(0, QString(added, u'x'));
        store.remove(0, added);
        QCOMPARE(TextBoundaries::nextCharacter(store, 0), 2);
        QCOMPARE(TextBoundaries::nextCharacter(store, 60000), 60002);
        QCOMPARE(TextBoundaries::previousCharacter(store, 60002), 60000);
        QVERIFY(TextBoundaries::isCharacterStart(store, 90000));
        QCOMPARE(TextBoundaries::wordAt(store, 5).second, int(line.size()));
    }
    // An edit in the block's own memory, the line as long as before: what is
    // read after is the new text, not what was found in the old.
    QCOMPARE(TextBoundaries::nextCharacter(store, 0), 2);
    store.replace(0, 3, TextSpan{QStringLiteral("xyz"), QByteArray()});
    QCOMPARE(TextBoundaries::nextCharacter(store, 0), 1);
}

void tst_Boundaries::lineEndsAndBreaks()
{
    TextStore store;
    store.assign(u"ab \U0001F600\r\nnext\rlast");
    // At the end of a line: the last character whole, a surrogate pair here.
    QCOMPARE(TextBoundaries::wordAt(store, 5), std::make_pair(3, 5));
    QCOMPARE(TextBoundaries::previousCharacter(store, 5), 3);
    // A break is one step, whatever it is written with.
    QCOMPARE(TextBoundaries::nextCharacter(store, 5), 6);
    QCOMPARE(TextBoundaries::previousCharacter(store, 6), 5);
    QCOMPARE(TextBoundaries::nextWordStart(store, 5), 6);
    QCOMPARE(TextBoundaries::previousWordStart(store, 6), 5);
    QCOMPARE(TextBoundaries::nextWordStart(store, 3), 5); // no word after the emoji: the line's end
    QCOMPARE(TextBoundaries::lineAt(store, 7), std::make_pair(6, 11));
    QCOMPARE(TextBoundaries::lineAt(store, 13), std::make_pair(11, 15));
    QCOMPARE(TextBoundaries::wordAt(store, 15), std::make_pair(11, 15));
    // Never between the halves of a surrogate pair, not even after an Indic
    // consonant.
    store.assign(u"\u0937\U0001F1EB");
    QCOMPARE(TextBoundaries::nextCharacter(store, 1), 3);
    QCOMPARE(TextBoundaries::previousCharacter(store, 3), 1);
    QCOMPARE(TextBoundaries::wordAt(store, 3).second, 3);
    // Empty lines and the ends of the text.
    store.assign(u"\n\n");
    QCOMPARE(TextBoundaries::wordAt(store, 1), std::make_pair(1, 1));
    QCOMPARE(TextBoundaries::nextCharacter(store, 2), 2);
    QCOMPARE(TextBoundaries::previousCharacter(store, 0), 0);
    QCOMPARE(TextBoundaries::previousWordStart(store, 0), 0);
    QCOMPARE(TextBoundaries::nextWordStart(store, 2), 2);
}

void tst_Boundaries::oneWordRule()
{
    TextStore store;
    store.assign(u"don't foo_bar, 3.14  \u00E9t\u00E9!");
    QCOMPARE(TextBoundaries::wordAt(store, 1), std::make_pair(0, 5));
    QCOMPARE(TextBoundaries::nextWordStart(store, 0), 6);
    QCOMPARE(TextBoundaries::wordAt(store, 8), std::make_pair(6, 13));
    QCOMPARE(TextBoundaries::nextWordStart(store, 6), 15);
    QCOMPARE(TextBoundaries::wordAt(store, 16), std::make_pair(15, 19));
    QCOMPARE(TextBoundaries::wordAt(store, 19), std::make_pair(19, 21)); // the run of blanks
    QCOMPARE(TextBoundaries::previousWordStart(store, 24), 21);
    QCOMPARE(TextBoundaries::wordAt(store, 25), std::make_pair(24, 25)); // the mark alone
}

QTEST_APPLESS_MAIN(tst_Boundaries)
#include "tst_boundaries.moc"
