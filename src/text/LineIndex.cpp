#include "LineIndex.h"

void LineIndex::reset(int length)
{
    m_starts.clear();
    m_breaks.clear();
    m_starts.append(0);
    m_starts.append(length);
    m_breaks.append(quint8(LineBreak::None));
    m_stepLine = 0;
    m_stepLength = 0;
}

int LineIndex::lineOf(int position) const
{
    int low = 0;
    int high = lineCount() - 1;
    if (position >= start(high))
        return high;
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (start(middle) <= position)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

void LineIndex::setLineBreak(int line, LineBreak lineBreak)
{
    m_breaks[line] = quint8(lineBreak);
}

void LineIndex::applyStep(int upTo)
{
    if (m_stepLength != 0) {
        for (int i = m_stepLine + 1; i <= upTo; ++i)
            m_starts[i] += m_stepLength;
    }
    m_stepLine = upTo;
    if (m_stepLine >= int(m_starts.size()) - 1) {
        m_stepLine = int(m_starts.size()) - 1;
        m_stepLength = 0;
    }
}

void LineIndex::backStep(int downTo)
{
    if (m_stepLength != 0) {
        for (int i = downTo + 1; i <= m_stepLine; ++i)
            m_starts[i] -= m_stepLength;
    }
    m_stepLine = downTo;
}

void LineIndex::changeLength(int line, int delta)
{
    if (delta == 0)
        return;
    const int entries = int(m_starts.size());
    if (m_stepLength != 0) {
        if (line >= m_stepLine) {
            applyStep(line);
            m_stepLength += delta;
        } else if (line >= m_stepLine - entries / 10) {
            backStep(line);
            m_stepLength += delta;
        } else {
            applyStep(entries - 1);
            m_stepLine = line;
            m_stepLength = delta;
        }
    } else {
        m_stepLine = line;
        m_stepLength = delta;
    }
    if (m_stepLine >= entries - 1) {
        // Nothing follows: the end itself moves.
        m_starts[entries - 1] += m_stepLength;
        m_stepLine = entries - 1;
        m_stepLength = 0;
    }
}

void LineIndex::insertLine(int line, int position, LineBreak lineBreak)
{
    // Entries up to and including the new one must hold absolute values.
    if (m_stepLine < line)
        applyStep(line);
    m_starts.insert(line, &position, 1);
    ++m_stepLine;
    const quint8 value = quint8(lineBreak);
    m_breaks.insert(line, &value, 1);
}

void LineIndex::removeLines(int line, int count)
{
    if (count <= 0)
        return;
    if (line + count - 1 > m_stepLine)
        applyStep(line + count - 1);
    m_stepLine -= count;
    if (m_stepLine < line - 1)
        m_stepLine = line - 1;
    m_starts.remove(line, count);
    m_breaks.remove(line, count);
    if (m_stepLine < 0) {
        // Every remaining start after the first is pending; make them real.
        m_stepLine = 0;
        if (m_stepLength != 0) {
            for (qsizetype i = 1; i < m_starts.size(); ++i)
                m_starts[i] += m_stepLength;
            m_stepLength = 0;
        }
    }
}

void LineIndex::appendLine(int position, LineBreak lineBreak)
{
    Q_ASSERT(m_stepLength == 0);
    const int last = lineCount() - 1;
    setLineBreak(last, lineBreak);
    m_starts[m_starts.size() - 1] = position;
    m_starts.append(position);
    m_breaks.append(quint8(LineBreak::None));
    m_stepLine = int(m_starts.size()) - 1;
}

void LineIndex::appendLines(const int *positions, qsizetype count)
{
    Q_ASSERT(m_stepLength == 0);
    if (count == 0)
        return;
    // The last line ends with an LF, as each new one but the last does;
    // the new last line runs to the end so far.
    setLineBreak(lineCount() - 1, LineBreak::LF);
    m_starts[m_starts.size() - 1] = positions[0];
    m_starts.insert(m_starts.size(), positions + 1, count - 1);
    m_starts.append(positions[count - 1]);
    m_breaks.insertValue(m_breaks.size(), count - 1, quint8(LineBreak::LF));
    m_breaks.append(quint8(LineBreak::None));
    m_stepLine = int(m_starts.size()) - 1;
}

void LineIndex::append(const LineIndex &other, int offset)
{
    applyStep(int(m_starts.size()) - 1);
    const int added = other.lineCount() - 1;
    // Room first: where memory runs out, nothing has changed.
    reserve(added);
    setLineBreak(lineCount() - 1, other.lineBreak(0));
    // The end here gives way to the starts of other's lines after its first
    // and its end, moved by offset; a batch at a time.
    m_starts.remove(m_starts.size() - 1, 1);
    constexpr int Batch = 4096;
    int starts[Batch];
    quint8 breaks[Batch];
    for (int line = 1; line <= added + 1;) {
        const int n = qMin(Batch, added + 2 - line);
        for (int i = 0; i < n; ++i)
            starts[i] = other.start(line + i) + offset;
        m_starts.insert(m_starts.size(), starts, n);
        const int lines = qMin(n, added + 1 - line); // breaks of lines, not of the end
        for (int i = 0; i < lines; ++i)
            breaks[i] = other.m_breaks.at(line + i);
        m_breaks.insert(m_breaks.size(), breaks, lines);
        line += n;
    }
    m_stepLine = int(m_starts.size()) - 1;
}

void LineIndex::setEnd(int length)
{
    applyStep(int(m_starts.size()) - 1);
    m_starts[m_starts.size() - 1] = length;
}
