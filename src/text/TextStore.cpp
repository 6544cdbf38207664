#include "TextStore.h"

#include <algorithm>
#include <atomic>
#include <vector>

quint64 TextStore::nextVersion()
{
    static std::atomic<quint64> last{0};
    return ++last;
}

void TextStore::changed()
{
    m_version = nextVersion();
}

LineBreak TextStore::lastBreak() const
{
    // Every line but the last ends with a break.
    return lineCount() > 1 ? lineBreak(lineCount() - 2) : LineBreak::None;
}

QString TextStore::text(int from, int count) const
{
    QString out(count, Qt::Uninitialized);
    m_text.copyOut(reinterpret_cast<char16_t *>(out.data()), from, count);
    return out;
}

TextSpan TextStore::span(int from, int count) const
{
    TextSpan span{text(from, count), QByteArray()};
    const int first = lineOf(from);
    const int last = count > 0 ? lineOf(from + count - 1) : first;
    // Each line from first that ends inside the stretch gives one break.
    for (int line = first; line <= last && line + 1 < lineCount(); ++line) {
        if (lineEnd(line) < from + count)
            span.breaks.append(char(lineBreak(line)));
    }
    return span;
}

void TextStore::insert(int position, QStringView text, LineBreak uniform)
{
    // Breaks in any spelling become one "\n" each, with their kind beside.
    std::vector<char16_t> normal;
    std::vector<quint8> breaks;
    normal.reserve(size_t(text.size()));
    const char16_t *in = text.utf16();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i];
        if (c == u'\r' || c == u'\n') {
            LineBreak kind = LineBreak::LF;
            if (c == u'\r') {
                kind = LineBreak::CR;
                if (i + 1 < n && in[i + 1] == u'\n') {
                    kind = LineBreak::CRLF;
                    ++i;
                }
            }
            normal.push_back(u'\n');
            breaks.push_back(quint8(uniform == LineBreak::None ? kind : uniform));
        } else {
            normal.push_back(c);
        }
    }
    insertNormalized(position, normal.data(), int(normal.size()), breaks.data());
}

void TextStore::insert(int position, const TextSpan &span)
{
    insertNormalized(position, reinterpret_cast<const char16_t *>(span.text.utf16()),
                     int(span.text.size()), reinterpret_cast<const quint8 *>(span.breaks.constData()));
}

void TextStore::insertNormalized(int position, const char16_t *text, int count, const quint8 *breaks)
{
    if (count == 0)
        return;
    // All the room first: where memory runs out, nothing has changed.
    reserve(count, std::count(text, text + count, u'\n'));
    changed();
    const int line = lineOf(position);
    m_text.insert(position, text, count);
    m_lines.changeLength(line, count);
    // The line is cut at each new break: the first piece takes the first new
    // break, the last piece keeps the break the line had.
    int added = 0;
    LineBreak carried = m_lines.lineBreak(line);
    for (int i = 0; i < count; ++i) {
        if (text[i] != u'\n')
            continue;
        const LineBreak kind = LineBreak(breaks[added]);
        if (added == 0)
            m_lines.setLineBreak(line, kind);
        else
            m_lines.setLineBreak(line + added, kind);
        ++added;
        m_lines.insertLine(line + added, position + i + 1, carried);
    }
}

void TextStore::reserve(qsizetype characters, qsizetype breaks)
{
    m_text.reserveMore(characters);
    m_lines.reserve(breaks);
    // The characters may have moved to a new block: what was read of them
    // where they were (an ICU text over the line, say) is not good any more.
    changed();
}

void TextStore::remove(int from, int count)
{
    if (count <= 0)
        return;
    changed();
    const int first = lineOf(from);
    const int last = lineOf(from + count);
    if (last > first) {
        // The joined line ends as the last line touched did.
        m_lines.setLineBreak(first, m_lines.lineBreak(last));
        m_lines.removeLines(first + 1, last - first);
    }
    m_lines.changeLength(first, -count);
    m_text.remove(from, count);
}

void TextStore::assign(QStringView text)
{
    changed();
    m_text.clear();
    m_lines.reset(0);
    insert(0, text);
}

QStringView TextStore::firstPart() const
{
    return QStringView(m_text.firstPart(), m_text.firstLength());
}

QStringView TextStore::secondPart() const
{
    return QStringView(m_text.secondPart(), m_text.secondLength());
}

int TextStore::find(QStringView pattern, int from, Qt::CaseSensitivity cs) const
{
    const qsizetype n = pattern.size();
    const qsizetype total = length();
    if (n == 0 || from < 0 || from + n > total)
        return -1;
    const QStringView first = firstPart();
    const QStringView second = secondPart();
    const qsizetype gap = first.size();

    if (from < gap) {
        const qsizetype i = first.indexOf(pattern, from, cs);
        if (i >= 0)
            return int(i);
        // An occurrence that straddles the gap.
        const qsizetype windowStart = qMax<qsizetype>(from, gap - n + 1);
        const qsizetype windowEnd = qMin(total, gap + n - 1);
        if (windowEnd - windowStart >= n) {
            const QString window = text(int(windowStart), int(windowEnd - windowStart));
            const qsizetype j = window.indexOf(pattern, 0, cs);
            if (j >= 0)
                return int(windowStart + j);
        }
    }
    const qsizetype i = second.indexOf(pattern, qMax<qsizetype>(0, from - gap), cs);
    return i >= 0 ? int(gap + i) : -1;
}
