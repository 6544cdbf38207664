#include "ClipText.h"

#include "Fonts.h"
#include "Twips.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// Loads above this size show the wait cursor while the text is laid in.
constexpr qsizetype LargeText = 1 << 20;
// The search reads the text a slice at a time, so that it never copies the
// whole of a large text at once: small slices first, since the next match is
// usually near, then larger ones up to the limit.
constexpr int FirstSearchSlice = 4 << 10;
constexpr int LargestSearchSlice = 1 << 20;

bool isWordCharacter(char32_t c)
{
    return c == U'_' || QChar::isLetterOrNumber(c);
}

} // namespace

QString ClipText::fromDocumentText(QString text)
{
    text.replace(QChar::ParagraphSeparator, u'\n');
    return text;
}

ClipText::ClipText(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("ClipText"));
    setFont(Fonts::courierNewBold());
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setColors(QColor(255, 255, 0), QColor(0, 0, 0));
}

QString ClipText::Text() const
{
    return fromDocumentText(document()->toRawText());
}

void ClipText::setText(const QString &text)
{
    const bool large = text.size() > LargeText;
    if (large)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    setPlainText(text);
    if (large)
        QGuiApplication::restoreOverrideCursor();
}

int ClipText::length() const
{
    return document()->characterCount() - 1;
}

int ClipText::SelStart() const
{
    return textCursor().selectionStart();
}

void ClipText::setSelStart(int position)
{
    QTextCursor cursor = textCursor();
    cursor.setPosition(qBound(0, position, length()));
    setTextCursor(cursor);
}

int ClipText::SelLength() const
{
    const QTextCursor cursor = textCursor();
    return cursor.selectionEnd() - cursor.selectionStart();
}

void ClipText::setSelLength(int count)
{
    QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    cursor.setPosition(start);
    cursor.setPosition(qBound(start, start + qMax(0, count), length()), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

QString ClipText::SelText() const
{
    return fromDocumentText(textCursor().selectedText());
}

bool ClipText::setSelText(const QString &text)
{
    const qint64 newLength = qint64(length()) - SelLength() + text.size();
    if (newLength > m_maxCharacters)
        return false;
    QTextCursor cursor = textCursor();
    cursor.insertText(text);
    setTextCursor(cursor);
    return true;
}

void ClipText::setSelColor(const QColor &color)
{
    QTextCharFormat format;
    format.setForeground(color);
    textCursor().mergeCharFormat(format);
}

void ClipText::setTextColorOfAll(const QColor &color)
{
    QTextCharFormat format;
    format.setForeground(color);
    QTextCursor all(document());
    all.select(QTextCursor::Document);
    all.mergeCharFormat(format);
}

void ClipText::setColors(const QColor &background, const QColor &text)
{
    QPalette p = palette();
    p.setColor(QPalette::Base, background);
    p.setColor(QPalette::Text, text);
    setPalette(p);
}

QColor ClipText::ForeColor() const
{
    return palette().color(QPalette::Text);
}

QColor ClipText::BackColor() const
{
    return palette().color(QPalette::Base);
}

void ClipText::setBackColor(const QColor &color)
{
    QPalette p = palette();
    p.setColor(QPalette::Base, color);
    setPalette(p);
}

double ClipText::Width() const
{
    return Twips::fromPixels(width());
}

void ClipText::setWidth(double twips)
{
    resize(Twips::toPixels(twips), height());
}

double ClipText::Height() const
{
    return Twips::fromPixels(height());
}

void ClipText::setHeight(double twips)
{
    resize(width(), Twips::toPixels(twips));
}

int ClipText::Find(const QString &text, int start, FindOptions options)
{
    const int total = length();
    if (text.isEmpty() || start < 0 || start > total)
        return -1;

    QString pattern = text;
    pattern.replace(u'\n', QChar::ParagraphSeparator);
    const int n = int(pattern.size());
    const Qt::CaseSensitivity cs = options.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;

    QTextCursor reader(document());
    int slice = FirstSearchSlice;
    for (int chunkStart = start; chunkStart + n <= total;
         chunkStart += slice, slice = qMin(slice * 2, LargestSearchSlice)) {
        // Each slice overlaps the next by n - 1 characters, so an occurrence
        // that straddles two slices is still seen whole.
        const int chunkEnd = int(qMin<qint64>(total, qint64(chunkStart) + slice + n - 1));
        reader.setPosition(chunkStart);
        reader.setPosition(chunkEnd, QTextCursor::KeepAnchor);
        const QString text = reader.selectedText();
        for (qsizetype from = 0;;) {
            const qsizetype i = text.indexOf(pattern, from, cs);
            if (i < 0)
                break;
            const int position = chunkStart + int(i);
            if (!options.wholeWord || isWholeWordAt(position, n)) {
                QTextCursor found = textCursor();
                found.setPosition(position);
                found.setPosition(position + n, QTextCursor::KeepAnchor);
                setTextCursor(found);
                return position;
            }
            from = i + 1;
        }
    }
    return -1;
}

bool ClipText::isWholeWordAt(int position, int n) const
{
    const QTextDocument *doc = document();
    const int total = length();
    if (position > 0) {
        char32_t before = doc->characterAt(position - 1).unicode();
        if (QChar::isLowSurrogate(before) && position > 1) {
            const QChar high = doc->characterAt(position - 2);
            if (high.isHighSurrogate())
                before = QChar::surrogateToUcs4(high.unicode(), char16_t(before));
        }
        if (isWordCharacter(before))
            return false;
    }
    const int end = position + n;
    if (end < total) {
        char32_t after = doc->characterAt(end).unicode();
        if (QChar::isHighSurrogate(after) && end + 1 < total) {
            const QChar low = doc->characterAt(end + 1);
            if (low.isLowSurrogate())
                after = QChar::surrogateToUcs4(char16_t(after), low.unicode());
        }
        if (isWordCharacter(after))
            return false;
    }
    return true;
}

void ClipText::setMenuShortcuts(const QList<QKeySequence> &shortcuts)
{
    m_menuShortcuts = shortcuts;
}

bool ClipText::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // The editor would claim its copy and paste keys for itself; the
        // window's menu owns them, so leave them unclaimed.
        const auto *key = static_cast<QKeyEvent *>(event);
        const QKeySequence pressed(key->keyCombination());
        if (m_menuShortcuts.contains(pressed)) {
            event->ignore();
            return true;
        }
    }
    return QPlainTextEdit::event(event);
}

bool ClipText::canInsertFromMimeData(const QMimeData *source) const
{
    return source && source->hasText();
}

void ClipText::insertFromMimeData(const QMimeData *source)
{
    // Plain text only, whatever else the data carries, and within capacity.
    if (!source || !source->hasText())
        return;
    if (setSelText(source->text()))
        ensureCursorVisible();
    else
        QApplication::beep();
}

QMimeData *ClipText::createMimeDataFromSelection() const
{
    auto *data = new QMimeData;
    data->setText(SelText());
    return data;
}
