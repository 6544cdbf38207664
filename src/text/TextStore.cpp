#include "TextStore.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
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
    replaceNormalized(position, 0, normal.data(), int(normal.size()), breaks.data(), qsizetype(breaks.size()));
}

void TextStore::insert(int position, const TextSpan &span)
{
    replace(position, 0, span);
}

void TextStore::remove(int from, int count)
{
    replaceNormalized(from, count, nullptr, 0, nullptr, 0);
}

void TextStore::replace(int from, int count, const TextSpan &span)
{
    replaceNormalized(from, count, reinterpret_cast<const char16_t *>(span.text.utf16()), int(span.text.size()),
                      reinterpret_cast<const quint8 *>(span.breaks.constData()), span.breaks.size());
}

void TextStore::replaceNormalized(int position, int removed, const char16_t *text, int count,
                                  const quint8 *breaks, qsizetype breakCount)
{
    removed = qMax(0, removed);
    if (removed == 0 && count == 0)
        return;
    // Room for the new lines first, then the characters in one step that
    // changes nothing where it fails: only these two need memory.
    m_lines.reserve(breakCount);
    m_text.replace(position, removed, text, count);
    // What was read of the characters where they were (an ICU text over the
    // line, say) is not good any more.
    changed();
    removeFromLines(position, removed);
    insertIntoLines(position, text, count, breaks);
}

void TextStore::removeFromLines(int from, int count)
{
    if (count == 0)
        return;
    const int first = lineOf(from);
    const int last = lineOf(from + count);
    if (last > first) {
        // The joined line ends as the last line touched did.
        m_lines.setLineBreak(first, m_lines.lineBreak(last));
        m_lines.removeLines(first + 1, last - first);
    }
    m_lines.changeLength(first, -count);
}

void TextStore::insertIntoLines(int position, const char16_t *text, int count, const quint8 *breaks)
{
    if (count == 0)
        return;
    const int line = lineOf(position);
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

void TextStore::assign(QStringView text)
{
    changed();
    m_text.clear();
    m_lines.reset(0);
    insert(0, text);
}

void TextStore::append(TextStore &&piece)
{
    if (piece.length() == 0)
        return;
    if (qint64(length()) + piece.length() > MaxLength)
        throw std::length_error("text too long");
    const int offset = length();
    m_lines.reserve(piece.lineCount());
    m_text.appendBlocks(std::move(piece.m_text));
    m_lines.append(piece.m_lines, offset);
    piece.m_lines.reset(0);
    changed();
}

int TextStore::find(QStringView pattern, int from, Qt::CaseSensitivity cs) const
{
    const qsizetype n = pattern.size();
    const qsizetype total = length();
    if (n == 0 || from < 0 || from + n > total)
        return -1;
    // A block at a time; an occurrence that starts in one block and ends in
    // the next is found in a window around where they meet.
    qsizetype found = -1;
    qsizetype unsearched = from; // the first start not yet looked at
    m_text.forEachRun(from, int(total - from), [&](const TextBlocks::Run &run) {
        if (run.start > unsearched) {
            const qsizetype windowStart = qMax(unsearched, run.start - n + 1);
            const qsizetype windowEnd = qMin(total, run.start + n - 1);
            if (windowEnd - windowStart >= n) {
                const qsizetype j = text(int(windowStart), int(windowEnd - windowStart)).indexOf(pattern, 0, cs);
                if (j >= 0) {
                    found = windowStart + j;
                    return false;
                }
            }
        }
        const qsizetype i = run.utf16 ? QStringView(run.utf16, run.length).indexOf(pattern, 0, cs)
                                      : QLatin1StringView(run.latin1, run.length).indexOf(pattern, 0, cs);
        if (i >= 0) {
            found = run.start + i;
            return false;
        }
        unsearched = qMax(run.start, run.start + run.length - n + 1);
        return true;
    });
    return int(found);
}
