#pragma once
// How many screen rows each line of a text takes at the current width: laid
// out for lines that have been shown, estimated for the others. The view
// finds the line at a scroll position here, and a scroll position for a line,
// without laying out anything. Lines are kept in chunks, each with its sum, so
// that a lookup walks chunks rather than lines.

#include <QtGlobal>

#include <functional>
#include <utility>
#include <vector>

class RowMap
{
public:
    // count lines, each as rowsOf(line) says.
    void reset(int count, const std::function<int(int)> &rowsOf);

    int lineCount() const { return m_lines; }
    qint64 total() const { return m_total; }
    int rows(int line) const;
    void set(int line, int rows);
    // Replaces count lines from `line` by the newRows given.
    void replace(int line, int count, const std::vector<int> &newRows);

    // Rows of every line before `line`.
    qint64 rowsBefore(int line) const;
    // The line that holds `row` of the whole text, and that row's index within
    // the line. Rows past the end give the last row.
    std::pair<int, int> lineAtRow(qint64 row) const;

private:
    struct Chunk
    {
        std::vector<int> rows;
        qint64 sum = 0;
    };
    // The chunk that holds line, and the line's index in it.
    std::pair<size_t, int> locate(int line) const;
    void split(size_t chunk);

    std::vector<Chunk> m_chunks;
    qint64 m_total = 0;
    int m_lines = 0;
};
