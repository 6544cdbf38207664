// The text laid out for pages and painted a page at a time, into a PDF and
// read back: every line once, in order, the pages filled row by row; and on
// paper of its own, which records what is drawn where: every row once, on
// its page, and tabs and symbols as wide as on the screen.

#include "text/TextPages.h"

#include <QPaintEngine>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <map>

namespace {

// A page of the given resolution that records the text drawn on it.
class Paper : public QPaintDevice
{
public:
    struct Drawn
    {
        QPointF at; // where the run's baseline starts
        QString text;
    };

    Paper(int dpi, const QSize &size)
        : m_dpi(dpi)
        , m_size(size)
    {
    }
    QPaintEngine *paintEngine() const override { return &m_engine; }
    const std::vector<Drawn> &drawn() const { return m_engine.drawn; }
    void clear() { m_engine.drawn.clear(); }
    // Where the first run of text that starts with prefix begins.
    QPointF where(const QString &prefix) const
    {
        for (const Drawn &run : m_engine.drawn) {
            if (run.text.startsWith(prefix))
                return run.at;
        }
        return QPointF(-1, -1);
    }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth: return m_size.width();
        case PdmHeight: return m_size.height();
        case PdmWidthMM: return m_size.width() * 254 / (10 * m_dpi);
        case PdmHeightMM: return m_size.height() * 254 / (10 * m_dpi);
        case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return m_dpi;
        case PdmDepth: return 32;
        case PdmNumColors: return INT_MAX;
        case PdmDevicePixelRatio: return 1;
        case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    struct Recorder : QPaintEngine
    {
        std::vector<Drawn> drawn;
        bool begin(QPaintDevice *) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState &) override {}
        void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
        void drawPath(const QPainterPath &) override {}
        void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
        void drawTextItem(const QPointF &at, const QTextItem &item) override
        {
            drawn.push_back({painter()->transform().map(at), item.text()});
        }
        Type type() const override { return User; }
    };
    int m_dpi;
    QSize m_size;
    mutable Recorder m_engine;
};

} // namespace

class tst_TextPages : public QObject
{
    Q_OBJECT

private slots:
    void everyLineOnceInOrder();
    void everyRowOnceOnItsPageAndAsWideAsOnScreen();
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

void tst_TextPages::everyRowOnceOnItsPageAndAsWideAsOnScreen()
{
    // A line that wraps across many pages of a printer's resolution; then
    // one where words drawn in a taller font than the text's own (a fallback
    // font's) make some rows taller than others.
    const QFont font(QStringLiteral("DejaVu Sans Mono"), 10);
    TextDocument document;
    for (const QString &tall : {QString(), QStringLiteral(" \u4F60\u597D\u222E")}) {
        // Liberation Mono has none of these, and the fonts that do reach higher.
        const QFont text = tall.isEmpty() ? font : QFont(QStringLiteral("Liberation Mono"), 10);
        QString longLine;
        for (int i = 0; i < 4000; ++i)
            longLine += QStringLiteral("w%1%2 ").arg(i).arg(i % 7 == 0 ? tall : QString());
        document.setText(QStringLiteral("T0001\tcol\na\u0001b\n") + longLine);

        Paper paper(1200, QSize(4960, 6992)); // A6
        TextPages pages(document, text, &paper, QSizeF(paper.width(), paper.height()));
        const qreal rowHeight = QFontMetricsF(QFont(text, &paper)).lineSpacing();
        QPainter painter(&paper);
        QStringList words;
        for (int page = 0; !pages.atEnd(); ++page) {
            paper.clear();
            pages.paintNextPage(painter);
            // A row may come in several runs, parted anywhere.
            std::map<qreal, QString> rows;
            for (const Paper::Drawn &run : paper.drawn()) {
                QVERIFY2(run.at.y() > 0 && run.at.y() <= paper.height(),
                         qPrintable(QStringLiteral("\"%1\" at %2 on page %3").arg(run.text).arg(run.at.y()).arg(page)));
                rows[run.at.y()] += run.text;
            }
            // No row of the long line stands on another: their baselines
            // are a row apart at least.
            qreal above = -rowHeight;
            for (const auto &row : rows) {
                words += row.second.split(u' ', Qt::SkipEmptyParts);
                if (!row.second.startsWith(u'w'))
                    continue;
                QVERIFY2(row.first - above >= rowHeight - 1,
                         qPrintable(QStringLiteral("rows at %1 and %2 on page %3").arg(above).arg(row.first).arg(page)));
                above = row.first;
            }
            QVERIFY(page < 1000);
        }
        painter.end();
        for (int i = 0; i < 4000; ++i)
            QVERIFY2(words.count(QStringLiteral("w%1").arg(i)) == 1, qPrintable(QStringLiteral("w%1 %2 times of %3 words").arg(i).arg(words.count(QStringLiteral("w%1").arg(i))).arg(words.size())));
    }
    document.setText(QStringLiteral("T0001\tcol\na\u0001b\n"));

    // What follows a tab and a symbol stands where it does on the screen,
    // in the printer's terms.
    Paper first(1200, QSize(4960, 6992));
    Paper screen(96, QSize(397, 559));
    for (Paper *device : {&first, &screen}) {
        TextPages one(document, font, device, QSizeF(device->width(), device->height()));
        QPainter on(device);
        one.paintNextPage(on);
    }
    const qreal scale = 1200.0 / 96;
    for (const QString &after : {QStringLiteral("col"), QStringLiteral("b")}) {
        const qreal onScreen = screen.where(after).x();
        QVERIFY(onScreen > 0);
        QVERIFY2(qAbs(first.where(after).x() / scale - onScreen) <= onScreen / 10,
                 qPrintable(QStringLiteral("\"%1\" at %2 on paper, %3 on the screen")
                                .arg(after).arg(first.where(after).x() / scale).arg(onScreen)));
    }
}

QTEST_MAIN(tst_TextPages)
#include "tst_textpages.moc"
