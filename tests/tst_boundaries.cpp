// Characters, words and lines as the engine finds them, reading the store in
// windows, against QTextBoundaryFinder run over each whole line.

#include "text/TextBoundaries.h"
#include "text/TextStore.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <vector>

namespace {

// Pieces of text whose boundaries the rules treat in every way they can.
const QStringList Atoms = {
    "a", "Zq", "42", " ", "  ", "\t", ".", ",", ":", "'", "\"", "_", "-", "don't", "3.14", "e\u0301",
    "a\u0308\u0301\u0323", "\u00E9t\u00E9", "\u0438\u0437 \u0441\u043B\u043E\u0432", "\U0001F600",
    "\U0001F44D\U0001F3FD", "\U0001F469\u200D\U0001F4BB", "\U0001F1E9\U0001F1EA", "\U0001F1EB",
    "\u6F22\u5B57", "\u3072\u3089", "\u30AB\u30BF", "\uD55C\uAE00", "\u1100\u1161\u11A8",
"\u05E9\u05B8\"\u05DC", "\u0627\u0644\u0639", "\u3000", "\u00A0",
    "\u200B", "\u2028", "\u00A9\uFE0F", "\u203C", "\x01", "\u0301", "\u200D", "\uFF76\uFF9E",
    // No Indic conjuncts and no Thai: with one in a line, Qt 6.4's finder
    // misplaces boundaries elsewhere in it (between "\u00A9" and "\uFE0F",
    // or none at all after Thai), so a whole line is no reference for them.
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

// Every boundary of the line, by a finder that sees all of it; but none
// between the halves of a surrogate pair, where Qt 6.4's finder puts one
// after an Indic consonant.
std::vector<int> boundaries(QTextBoundaryFinder::BoundaryType type, const QString &line)
{
    std::vector<int> found;
    QTextBoundaryFinder finder(type, line);
    for (qsizetype at = 0; at >= 0; at = finder.toNextBoundary()) {
        if (at == 0 || at == line.size() || !line.at(at - 1).isHighSurrogate() || !line.at(at).isLowSurrogate())
            found.push_back(int(at));
    }
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

// What each function must answer at offset `at` of the line (not at its end).
void compareAt(const TextStore &store, const Line &line, int at)
{
    const int p = line.start + at;
    const int end = int(line.text.size());
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
    const int from = std::binary_search(line.words.begin(), line.words.end(), at) ? at : before(line.words, at);
    QCOMPARE(TextBoundaries::wordAt(store, p), std::make_pair(line.start + from, line.start + after(line.words, at)));
}

} // namespace

class tst_Boundaries : public QObject
{
    Q_OBJECT

private slots:
    void againstWholeLineFinder();
    void lineEndsAndBreaks();
    void oneWordRule();
};

void tst_Boundaries::againstWholeLineFinder()
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
        // Edits move the gap into the lines, as typing does.
        if (store.length() > 2) {
            const int at = random.bounded(store.length());
            store.insert(at, u"x");
            store.remove(at, 1);
        }
        for (int number = 0; number < store.lineCount(); ++number) {
            const int start = store.lineStart(number);
            const QString text = store.text(start, store.lineLength(number));
            Line line{start, text, boundaries(QTextBoundaryFinder::Grapheme, text),
                      boundaries(QTextBoundaryFinder::Word, text), {}};
            for (int cut : line.words) {
                if (cut < text.size() && TextBoundaries::startsWord(codePointAt(text, cut)))
                    line.wordStarts.push_back(cut);
            }
            // Every offset of short lines; of long ones, a sample and both
            // sides of where the first window ends.
            std::vector<int> offsets;
            if (text.size() < 300) {
                for (int at = 0; at < text.size(); ++at)
                    offsets.push_back(at);
            } else {
                for (int i = 0; i < 200; ++i)
                    offsets.push_back(random.bounded(int(text.size())));
                for (int edge : {TextBoundaries::Reach, int(text.size()) - TextBoundaries::Reach}) {
                    for (int at = qMax(0, edge - 8); at < qMin(int(text.size()), edge + 8); ++at)
                        offsets.push_back(at);
                }
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
    // Never between the halves of a surrogate pair, though Qt 6.4's finder
    // reports a boundary there after an Indic consonant.
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
