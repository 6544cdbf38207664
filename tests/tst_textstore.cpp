// The text store and its line index, and the document with its history,
// against a plain string under random edits.

#include "text/TextBuilder.h"
#include "text/TextDocument.h"
#include "text/TextStore.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

// The reference holds each break as one private-use character that names its kind.
constexpr char16_t Marker[] = {0, 0xE001, 0xE002, 0xE003}; // by LineBreak

QString toReference(QStringView text, LineBreak uniform = LineBreak::None)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        LineBreak kind = LineBreak::None;
        if (text[i] == u'\r') {
            kind = i + 1 < text.size() && text[i + 1] == u'\n' ? LineBreak::CRLF : LineBreak::CR;
            if (kind == LineBreak::CRLF)
                ++i;
        } else if (text[i] == u'\n') {
            kind = LineBreak::LF;
        }
        if (kind == LineBreak::None)
            out += text[i];
        else
            out += QChar(Marker[int(uniform == LineBreak::None ? kind : uniform)]);
    }
    return out;
}

bool isMarker(QChar c)
{
    return c.unicode() >= 0xE001 && c.unicode() <= 0xE003;
}

QString fromReference(QString reference)
{
    for (QChar &c : reference) {
        if (isMarker(c))
            c = u'\n';
    }
    return reference;
}

QString randomText(QRandomGenerator &random, int maxLength)
{
    static const char16_t alphabet[] = {u'a', u'b', u'A', u' ', u'\r', u'\n', 0x2029, 0x2028, 0xFDD0,
                                        0, 0x85, 0xE9, u'\t', 0xD83D, 0xDE00};
    QString text;
    const int n = int(random.bounded(maxLength + 1));
    for (int i = 0; i < n; ++i) {
        const char16_t c = alphabet[random.bounded(int(std::size(alphabet)))];
        if (c == 0xD83D || c == 0xDE00) // a whole surrogate pair
            text += QString::fromUtf16(u"\U0001F600");
        else
            text += QChar(c);
    }
    return text;
}

// The text as a file holds it: each line followed by its own break.
QString written(const TextStore &store)
{
    QString out;
    for (int line = 0; line < store.lineCount(); ++line)
        out += store.text(store.lineStart(line), store.lineLength(line))
            + QString::fromLatin1(lineBreakCharacters(store.lineBreak(line)));
    return out;
}

void compare(const TextStore &store, const QString &reference)
{
    QCOMPARE(store.text(), fromReference(reference));
    int line = 0;
    int start = 0;
    for (qsizetype i = 0; i <= reference.size(); ++i) {
        if (i == reference.size() || isMarker(reference[i])) {
            QCOMPARE(store.lineStart(line), start);
            QCOMPARE(store.lineEnd(line), int(i));
            const LineBreak kind = i == reference.size()
                ? LineBreak::None
                : LineBreak(std::find(std::begin(Marker), std::end(Marker), reference[i].unicode()) - Marker);
            QCOMPARE(store.lineBreak(line), kind);
            QCOMPARE(store.lineOf(start), line);
            QCOMPARE(store.lineOf(int(i)), line);
            ++line;
            start = int(i) + 1;
        }
    }
    QCOMPARE(store.lineCount(), line);
}

} // namespace

class tst_TextStore : public QObject
{
    Q_OBJECT

private slots:
    void randomEditsAgainstReference();
    void blocksAgainstReference();
    void builderInPieces();
    void findAcrossTheGap();
    void historyRestoresBreaks();
    void documentAgainstModelWithHistory();
    void typedBreaksReadBackAsTyped();
};

void tst_TextStore::randomEditsAgainstReference()
{
    QRandomGenerator random(20261209);
    for (int round = 0; round < 40; ++round) {
        const QString first = randomText(random, 200);
        TextStore store;
        store.assign(first);
        QString reference = toReference(first);
        compare(store, reference);
        for (int step = 0; step < 60; ++step) {
            const int length = store.length();
            if (random.bounded(3) == 0 && length > 0) {
                const int at = int(random.bounded(length));
                const int count = int(random.bounded(qMin(40, length - at) + 1));
                // A span taken out goes back exactly.
                const TextSpan span = store.span(at, count);
                QCOMPARE(span.text, fromReference(reference.mid(at, count)));
                store.remove(at, count);
                reference.remove(at, count);
                if (random.bounded(4) == 0) {
                    store.insert(at, span);
                    QString back;
                    int b = 0;
                    for (const QChar c : span.text)
                        back += c == u'\n' ? QChar(Marker[int(span.breaks.at(b++))]) : c;
                    reference.insert(at, back);
                }
            } else {
                const int at = int(random.bounded(length + 1));
                const QString text = randomText(random, 30);
                const LineBreak uniform = random.bounded(2) ? LineBreak::None : LineBreak::CRLF;
                store.insert(at, text, uniform);
                reference.insert(at, toReference(text, uniform));
            }
            compare(store, reference);
        }
    }
}

void tst_TextStore::blocksAgainstReference()
{
    // Texts of many blocks: runs of ASCII, of Latin-1, of other scripts,
    // surrogate pairs and halves of them, edited where blocks meet and far
    // from it, large edits among small ones. The text reads as a string
    // holding the same does, whole and a run at a time; no run ends on the
    // first half of a pair the next begins with the second of; a text of
    // ASCII takes about a byte a character.
    QRandomGenerator random(34);
    const QString stretches[] = {QString(300, u'a'), QString(200, QChar(0xE9)), QStringLiteral("\u4F60\u597D"),
                                 QStringLiteral("\U0001F600"), QString(QChar(0xD83D)), QString(QChar(0xDE00)),
                                 QStringLiteral("line\n")};
    auto stretch = [&](qsizetype length) {
        QString text;
        while (text.size() < length) {
            if (random.bounded(40) == 0)
                text += QStringLiteral("plain ASCII\n").repeated(1 + int(random.bounded(6000))); // whole blocks of it
            else
                text += stretches[random.bounded(int(std::size(stretches)))].left(1 + int(random.bounded(300)));
        }
        return text.left(length);
    };
    auto check = [](const TextStore &store, const QString &reference) {
        QCOMPARE(store.text(), reference);
        QString runs;
        char16_t before = 0;
        bool straddled = false;
        store.forEachRun(0, store.length(), [&](const TextBlocks::Run &run) {
            const QString part = run.utf16 ? QString(reinterpret_cast<const QChar *>(run.utf16), run.length)
                                           : QString::fromLatin1(run.latin1, run.length);
            straddled = straddled || (QChar::isHighSurrogate(before) && QChar::isLowSurrogate(part.front().unicode()));
            before = part.back().unicode();
            runs += part;
            return true;
        });
        QCOMPARE(runs, reference);
        QVERIFY2(!straddled, "a pair straddles two blocks");
        for (int i = 0; i < 50 && !reference.isEmpty(); ++i) {
            const int at = QRandomGenerator::global()->bounded(int(reference.size()));
            QCOMPARE(store.at(at), reference.at(at).unicode());
        }
    };
    for (int round = 0; round < 6; ++round) {
        QString reference = stretch(100000 + random.bounded(200000));
        TextStore store;
        store.assign(reference);
        check(store, reference);
        for (int step = 0; step < 40; ++step) {
            const int length = store.length();
            const int at = int(random.bounded(length + 1));
            const int removed = random.bounded(3) == 0 ? int(random.bounded(qMin(70000, length - at) + 1)) : 0;
            const QString inserted = random.bounded(2) ? stretch(random.bounded(random.bounded(4) ? 50 : 40000)) : QString();
            store.remove(at, removed);
            reference.remove(at, removed);
            // The text's own breaks, as the reference holds them: one "\n" each.
            TextStore parsed;
            parsed.insert(0, inserted);
            store.insert(at, parsed.text());
            reference.insert(at, parsed.text());
            check(store, reference);
            if (QTest::currentTestFailed())
                return;
            // Found where a string finds it, across blocks too.
            const int from = int(random.bounded(store.length() + 1));
            const QString pattern = reference.mid(qMax(0, from + int(random.bounded(90000)) - 5), 1 + int(random.bounded(12)));
            if (!pattern.isEmpty())
                QCOMPARE(store.find(pattern, from, Qt::CaseSensitive), int(reference.indexOf(pattern, from)));
        }
    }

    TextBuilder builder;
    const QByteArray ascii = QByteArray("a line of plain ASCII text\n").repeated(40000);
    builder.appendLatin1(ascii);
    const TextStore built = builder.take();
    QCOMPARE(built.text(), QString::fromLatin1(ascii));
    QVERIFY2(built.characterBytes() < ascii.size() * 1.05, qPrintable(QString::number(built.characterBytes())));

    // A large text built in pieces: its blocks cut from large pieces of
    // memory made ready on another thread, shared by the pieces, and
    // outliving the builder and each other.
    auto line = [](int i) { return QByteArray::number(i).rightJustified(9, '0') + " of a large text\n"; };
    TextStore large;
    {
        TextBuilder pieces(0, qsizetype(80) << 20);
        int lines = 0;
        for (int p = 0; p < 20; ++p) {
            QByteArray bytes;
            for (int i = 0; i < 80000; ++i)
                bytes += line(lines++);
            pieces.appendLatin1(bytes);
            if (p == 7)
                pieces.append(u"ωιδε\n");
            TextStore piece = pieces.take();
            if (p == 0)
                large = std::move(piece);
            else
                large.append(std::move(piece));
        }
    }
    QCOMPARE(large.lineCount(), 20 * 80000 + 2);
    for (int l : {0, 79999, 8 * 80000 - 1, 8 * 80000 + 1, 20 * 80000})
        QCOMPARE(large.text(large.lineStart(l), 9), QString::fromLatin1(line(l > 8 * 80000 ? l - 1 : l).left(9)));
    QCOMPARE(large.text(large.lineStart(8 * 80000), 5), QStringLiteral("ωιδε\n"));
    large.insert(large.lineStart(1000) + 3, QStringLiteral("edited"));
    QCOMPARE(large.text(large.lineStart(1000), 12), QStringLiteral("000edited001"));
}

void tst_TextStore::builderInPieces()
{
    QRandomGenerator random(7);
    for (int round = 0; round < 200; ++round) {
        const QString text = randomText(random, 400);
        TextBuilder builder(random.bounded(2) ? text.size() : 0);
        for (qsizetype at = 0; at < text.size();) {
            // Pieces may end between the CR and the LF of one break.
            const qsizetype n = qMin<qsizetype>(text.size() - at, 1 + random.bounded(9));
            builder.append(QStringView(text).mid(at, n));
            at += n;
        }
        const TextStore store = builder.take();
        compare(store, toReference(text));
        TextStore whole;
        whole.assign(text);
        QCOMPARE(store.lastBreak(), whole.lastBreak());

        // Built in stores of whole lines (of bytes where they allow it),
        // each taken over after the one before, as a file read in pieces is.
        TextStore joined;
        for (qsizetype at = 0; at < text.size();) {
            qsizetype end = text.indexOf(u'\n', at + random.bounded(30));
            end = end < 0 ? text.size() : end + 1;
            const QString piece = text.mid(at, end - at);
            TextBuilder pieceBuilder;
            const QByteArray latin1 = piece.toLatin1();
            if (QString::fromLatin1(latin1) == piece)
                pieceBuilder.appendLatin1(latin1);
            else
                pieceBuilder.append(piece);
            joined.append(pieceBuilder.take());
            at = end;
        }
        compare(joined, toReference(text));
    }
}

void tst_TextStore::findAcrossTheGap()
{
    TextStore store;
    store.assign(QStringLiteral("alpha\r\nbeta gamma\rdelta"));
    // Edits leave the gap in the middle of the text; matches straddle it.
    store.insert(9, QStringLiteral("X"));
    store.remove(9, 1);
    const QString flat = store.text();
    for (const QString pattern : {QStringLiteral("BETA"), QStringLiteral("a\nb"), QStringLiteral("ta g"),
                                  QStringLiteral("delta"), QStringLiteral("zeta")}) {
        for (int from = 0; from <= flat.size(); ++from)
            QCOMPARE(store.find(pattern, from, Qt::CaseInsensitive),
                     int(flat.indexOf(pattern, from, Qt::CaseInsensitive)));
    }
    QCOMPARE(store.find(QStringLiteral("BETA"), 0, Qt::CaseSensitive), -1);
    QCOMPARE(store.find(QString(), 0, Qt::CaseSensitive), -1);
}

void tst_TextStore::historyRestoresBreaks()
{
    TextDocument document;
    document.setText(u"one\r\ntwo\rthree\nfour");
    document.setNewLineBreak(LineBreak::CRLF);
    document.replace(2, 9, u"X\nY", TextDocument::EditKind::Other, {});
    QCOMPARE(document.store().text(), QStringLiteral("onX\nYee\nfour"));
    QCOMPARE(document.store().lineBreak(0), LineBreak::CRLF); // typed breaks take the text's own kind
    QCOMPARE(document.store().lineBreak(1), LineBreak::LF);
    document.undo();
    QCOMPARE(document.store().text(), QStringLiteral("one\ntwo\nthree\nfour"));
    QCOMPARE(document.store().lineBreak(0), LineBreak::CRLF);
    QCOMPARE(document.store().lineBreak(1), LineBreak::CR);
    QCOMPARE(document.store().lineBreak(2), LineBreak::LF);
    document.redo();
    QCOMPARE(document.store().text(), QStringLiteral("onX\nYee\nfour"));

    // Typing joins into words; Backspaces join while they go on.
    document.setText(u"");
    for (const QChar c : QStringLiteral("hello world"))
        document.replace(document.length(), 0, QString(c), TextDocument::EditKind::Typing, {});
    document.replace(10, 1, {}, TextDocument::EditKind::Deleting, {});
    document.replace(9, 1, {}, TextDocument::EditKind::Deleting, {});
    QCOMPARE(document.store().text(), QStringLiteral("hello wor"));
    document.undo();
    QCOMPARE(document.store().text(), QStringLiteral("hello world"));
    document.undo();
    QCOMPARE(document.store().text(), QStringLiteral("hello "));
    document.undo();
    QCOMPARE(document.store().text(), QString());
    QVERIFY(!document.isUndoAvailable());
}

void tst_TextStore::documentAgainstModelWithHistory()
{
    QRandomGenerator random(488);
    for (int round = 0; round < 30; ++round) {
        TextDocument document;
        document.setText(randomText(random, 300));
        const QString startText = written(document.store());
        QString model = document.store().text();
        int steps = 0;
        for (int step = 0; step < 80; ++step) {
            const int length = document.length();
            const int at = int(random.bounded(length + 1));
            const int count = int(random.bounded(qMin(30, length - at) + 1));
            const QString text = random.bounded(3) ? randomText(random, 12) : QString();
            static const LineBreak kinds[] = {LineBreak::LF, LineBreak::CRLF, LineBreak::CR};
            document.setNewLineBreak(kinds[random.bounded(3)]);
            // Typing and deleting join with the step before; undo takes them whole.
            static const TextDocument::EditKind editKinds[] = {
                TextDocument::EditKind::Other, TextDocument::EditKind::Typing, TextDocument::EditKind::Deleting};
            document.replace(at, count, text, editKinds[random.bounded(3)], {});
            if (count > 0 || !text.isEmpty())
                ++steps;
            model.replace(at, count, toReference(text, LineBreak::LF).replace(QChar(Marker[1]), u'\n'));
            QCOMPARE(document.store().text(), model);
            if (random.bounded(10) == 0)
                document.closeUndoGroup();
        }
        const QString endText = written(document.store());
        int undone = 0;
        while (document.isUndoAvailable()) {
            document.undo();
            ++undone;
        }
        QVERIFY(undone <= steps);
        QCOMPARE(written(document.store()), startText); // every break of its kind again
        while (document.isRedoAvailable())
            document.redo();
        QCOMPARE(written(document.store()), endText);
    }
}

void tst_TextStore::typedBreaksReadBackAsTyped()
{
    // A break typed next to a CR must not become half of a CRLF when the
    // text is written and read back.
    TextDocument document;
    document.setText(u"one\rtwo\n");
    document.setNewLineBreak(LineBreak::LF);
    document.replace(4, 0, u"\n", TextDocument::EditKind::Typing, {}); // Enter at the start of "two"
    TextStore reread;
    reread.assign(written(document.store()));
    QCOMPARE(reread.text(), document.store().text());
    QCOMPARE(reread.lineCount(), 4);

    // Before an empty line that ends with LF, a typed CR would join it.
    document.setText(u"one\n\ntwo");
    document.setNewLineBreak(LineBreak::CR);
    document.replace(3, 0, u"\n", TextDocument::EditKind::Typing, {});
    reread.assign(written(document.store()));
    QCOMPARE(reread.text(), document.store().text());

    // Between the two, where neither kind would do.
    document.setText(u"a\rb\n\nc");
    document.replace(2, 1, {}, TextDocument::EditKind::Other, {}); // now a CR and an empty LF line meet
    document.setNewLineBreak(LineBreak::LF);
    document.replace(2, 0, u"\n", TextDocument::EditKind::Typing, {});
    QCOMPARE(document.store().lineBreak(1), LineBreak::CRLF);
    // Elsewhere a typed break takes the text's own kind.
    document.replace(0, 0, u"x\n", TextDocument::EditKind::Typing, {});
    QCOMPARE(document.store().lineBreak(0), LineBreak::LF);
}

QTEST_APPLESS_MAIN(tst_TextStore)
#include "tst_textstore.moc"
