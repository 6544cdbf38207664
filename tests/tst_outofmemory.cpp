// Edits when memory runs out: the allocations an edit makes are failed one
// at a time, and after each the document holds either the whole edit or
// exactly what it held before, its lines and its history with it.
//
// The C library's malloc is put behind one of this program's own, which
// fails the one allocation asked for; so the sanitizers' build, which has a
// malloc of its own, leaves this test out.

#include "text/TextDocument.h"

#include <QTest>

#include <atomic>
#include <cstdlib>
#include <new>

extern "C" void *__libc_malloc(size_t size);

namespace {

// Allocations counted on the test's thread while an edit runs: the one
// numbered failAt fails (0: none does).
thread_local bool t_counting = false;
thread_local long t_count = 0;
thread_local long t_failAt = 0;

} // namespace

extern "C" void *malloc(size_t size)
{
    if (t_counting && ++t_count == t_failAt)
        return nullptr;
    return __libc_malloc(size);
}

namespace {

using EditKind = TextDocument::EditKind;

struct Edit
{
    int position;
    int count;
    QString text;
    EditKind kind;
};

// Runs edit with the allocation numbered failAt failing; the allocations
// it made, and whether it failed.
std::pair<long, bool> runEdit(TextDocument &document, const Edit &edit, long failAt)
{
    t_count = 0;
    t_failAt = failAt;
    t_counting = true;
    bool failed = false;
    try {
        document.replace(edit.position, edit.count, edit.text, edit.kind, {});
    } catch (const std::bad_alloc &) {
        failed = true;
    }
    t_counting = false;
    return {t_count, failed};
}

QString whole(const TextDocument &document)
{
    return document.text(0, document.length());
}

// The lines as the index has them, each with its break.
QStringList lines(const TextDocument &document)
{
    const TextStore &store = document.store();
    QStringList found;
    for (int line = 0; line < store.lineCount(); ++line)
        found << store.text(store.lineStart(line), store.lineLength(line)) + u'|'
                + QString::number(int(store.lineBreak(line)));
    return found;
}

// A text of several blocks and lines, with history behind it: a typed
// stretch still open, and a step before it.
void prepare(TextDocument &document)
{
    QString text;
    for (int i = 0; i < 6000; ++i)
        text += QStringLiteral("line %1 of the text\u00e9\n").arg(i);
    document.replace(0, 0, text, EditKind::Other, {});
    document.replace(10, 0, QStringLiteral("typ"), EditKind::Typing, {});
}

} // namespace

class tst_OutOfMemory : public QObject
{
    Q_OBJECT

private slots:
    void anEditIsWholeOrNotAtAll();
};

void tst_OutOfMemory::anEditIsWholeOrNotAtAll()
{
    const QString wide = QString(70000, QChar(0x4F60)); // more than a block, in UTF-16
    const QList<Edit> edits = {
        {13, 0, QStringLiteral("ed"), EditKind::Typing},                  // joins the open stretch
        {40000, 30000, wide, EditKind::Other},                            // across blocks, wider text
        {100, 90000, QString(), EditKind::Deleting},                      // blocks join
        {5000, 10, QStringLiteral("two\nlines\r\n"), EditKind::Committed}, // new lines
    };
    for (const Edit &edit : edits) {
        TextDocument reference;
        prepare(reference);
        const QString before = whole(reference);
        const QStringList linesBefore = lines(reference);
        const auto [allocations, failed] = runEdit(reference, edit, 0);
        QVERIFY(!failed);
        QVERIFY(allocations > 0);
        const QString after = whole(reference);
        const QStringList linesAfter = lines(reference);
        reference.undo();
        const QString undone = whole(reference);

        for (long failAt = 1; failAt <= allocations; ++failAt) {
            const QString what = QStringLiteral("edit at %1, allocation %2").arg(edit.position).arg(failAt);
            TextDocument document;
            prepare(document);
            if (!runEdit(document, edit, failAt).second) {
                QVERIFY2(whole(document) == after && lines(document) == linesAfter, qPrintable(what));
                continue;
            }
            QVERIFY2(whole(document) == before && lines(document) == linesBefore, qPrintable(what));
            // The history is as it was: the edit goes in whole now, and one
            // undo takes it back as it would have.
            QVERIFY2(runEdit(document, edit, 0).second == false, qPrintable(what));
            QVERIFY2(whole(document) == after && lines(document) == linesAfter, qPrintable(what));
            document.undo();
            QVERIFY2(whole(document) == undone, qPrintable(what));
        }
    }
}

QTEST_GUILESS_MAIN(tst_OutOfMemory)
#include "tst_outofmemory.moc"
