#pragma once
// Where each line starts, and the break each line ends with.
//
// The starts live in a gap vector. An edit changes the starts of every later
// line by the same amount; rather than touching them all, the index keeps
// that amount pending for every start after one line (the step) and applies
// it only as far as later lookups need. Edits that follow each other through
// a text therefore cost little however many lines follow them.

#include "LineBreak.h"
#include "SplitVector.h"

class LineIndex
{
public:
    LineIndex() { reset(0); }

    // One line of the given length, no break.
    void reset(int length);

    int lineCount() const { return int(m_starts.size()) - 1; }
    int start(int line) const
    {
        int position = m_starts.at(line);
        if (line > m_stepLine)
            position += m_stepLength;
        return position;
    }
    // The line that holds position; a break belongs to the line it ends.
    int lineOf(int position) const;

    LineBreak lineBreak(int line) const { return LineBreak(m_breaks.at(line)); }
    void setLineBreak(int line, LineBreak lineBreak);

    // The text of line grew by delta characters (shrank, when negative).
    void changeLength(int line, int delta);
    // A new line starting at position (an absolute start) before line `line`,
    // whose break is lineBreak.
    void insertLine(int line, int position, LineBreak lineBreak);
    void removeLines(int line, int count);

    // Appending at the end, while a text is being built: the last line ends
    // with lineBreak, and a new last line starts at position.
    void appendLine(int position, LineBreak lineBreak);
    // Many at once, each an LF: positions are where the new lines start.
    void appendLines(const int *positions, qsizetype count);
    // The lines of other, whose text now follows the text at offset (the
    // end): the last line here goes on with other's first.
    void append(const LineIndex &other, int offset);
    // The text now ends at length.
    void setEnd(int length);
    void reserve(qsizetype lines) { m_starts.reserveMore(lines); m_breaks.reserveMore(lines); }

private:
    void applyStep(int upTo);
    void backStep(int downTo);

    SplitVector<int> m_starts;   // one per line, then the end of the text
    SplitVector<quint8> m_breaks; // one per line
    int m_stepLine = 0;
    int m_stepLength = 0;
};
