// The text laid out for pages and painted a page at a time, into a PDF and
// read back: every line once, in order, the pages filled row by row.

#include "text/TextPages.h"

#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class tst_TextPages : public QObject
{
    Q_OBJECT

private slots:
    void everyLineOnceInOrder();
};

void tst_TextPages::everyLineOnceInOrder()
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext is missing: install poppler-utils");
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("pages.pdf"));

    // Short lines, then one line long enough to wrap over pages, then more.
    QStringList lines;
    for (int i = 0; i < 150; ++i)
        lines << QStringLiteral("short%1").arg(i);
    QString longLine;
    for (int i = 0; i < 3000; ++i)
        longLine += QStringLiteral("w%1 ").arg(i);
    lines << longLine;
    for (int i = 150; i < 200; ++i)
        lines << QStringLiteral("short%1").arg(i);
    TextDocument document;
    document.setText(lines.join(u'\n'));

    QPdfWriter writer(pdf);
    writer.setPageSize(QPageSize(QPageSize::A6));
    writer.setResolution(300);
    QPainter painter(&writer);
    TextPages pages(document, QFont(), &writer, QSizeF(writer.width(), writer.height()));
    QVERIFY(pages.rowsPerPage() > 5);
    int count = 0;
    while (!pages.atEnd()) {
        if (count > 0)
            QVERIFY(writer.newPage());
        pages.paintNextPage(painter);
        ++count;
        QVERIFY(count < 1000);
    }
    painter.end();
    QCOMPARE(pages.linesDone(), 201);

    QProcess reader;
    reader.start(pdftotext, {pdf, QStringLiteral("-")});
    QVERIFY(reader.waitForFinished(30000));
    const QString text = QString::fromUtf8(reader.readAllStandardOutput());
    QCOMPARE(text.count(u'\f'), count);
    // The short lines, each once, in order; each page full but the last.
    int at = -1;
    for (int i = 0; i < 200; ++i) {
        const QString line = QStringLiteral("short%1\n").arg(i);
        QCOMPARE(text.count(line), 1);
        const int found = int(text.indexOf(line));
        QVERIFY(found > at);
        at = found;
    }
    const QStringList printedPages = text.split(u'\f', Qt::SkipEmptyParts);
    QCOMPARE(int(printedPages.first().split(u'\n', Qt::SkipEmptyParts).size()), pages.rowsPerPage());
    // The long line's words, each once, in order.
    at = 0;
    for (int i = 0; i < 3000; i += 97) {
        const QString word = QStringLiteral("w%1 ").arg(i);
        const int found = int(text.indexOf(QRegularExpression(QStringLiteral("\\bw%1\\b").arg(i)), at));
        QVERIFY2(found >= at, qPrintable(word));
        at = found;
    }
}

QTEST_MAIN(tst_TextPages)
#include "tst_textpages.moc"
