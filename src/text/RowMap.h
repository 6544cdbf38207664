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
    template <typename RowsOf>
    void reset(int count, RowsOf &&rowsOf)
    {
        m_chunks.clear();
        m_chunks.reserve(size_t(count) / ChunkSize + 1);
        m_total = 0;
        m_lines = count;
        for (int line = 0; line < count;) {
            Chunk chunk;
            const int end = int(qMin<qint64>(count, qint64(line) + ChunkSize));
            chunk.rows.resize(size_t(end - line));
            for (int *out = chunk.rows.data(); line < end; ++line, ++out) {
                *out = rowsOf(line);
                chunk.sum += *out;
            }
            m_total += chunk.sum;
            m_chunks.push_back(std::move(chunk));
        }
    }

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
    static constexpr size_t ChunkSize = 512;
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
