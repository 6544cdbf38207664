#include "RowMap.h"

std::pair<size_t, int> RowMap::locate(int line) const
{
    int first = 0;
    for (size_t c = 0; c < m_chunks.size(); ++c) {
        const int size = int(m_chunks[c].rows.size());
        if (line < first + size)
            return {c, line - first};
        first += size;
    }
    // Just past the end: the end of the last chunk.
    if (m_chunks.empty())
        return {0, 0};
    return {m_chunks.size() - 1, int(m_chunks.back().rows.size())};
}

int RowMap::rows(int line) const
{
    const auto [c, i] = locate(line);
    return m_chunks[c].rows[size_t(i)];
}

void RowMap::set(int line, int rows)
{
    const auto [c, i] = locate(line);
    Chunk &chunk = m_chunks[c];
    const int delta = rows - chunk.rows[size_t(i)];
    chunk.rows[size_t(i)] = rows;
    chunk.sum += delta;
    m_total += delta;
}

void RowMap::replace(int line, int count, const std::vector<int> &newRows)
{
    // Remove, chunk by chunk.
    while (count > 0) {
        const auto [c, i] = locate(line);
        Chunk &chunk = m_chunks[c];
        const int take = qMin(count, int(chunk.rows.size()) - i);
        for (int k = 0; k < take; ++k)
            chunk.sum -= chunk.rows[size_t(i + k)];
        chunk.rows.erase(chunk.rows.begin() + i, chunk.rows.begin() + i + take);
        count -= take;
        m_lines -= take;
        if (chunk.rows.empty())
            m_chunks.erase(m_chunks.begin() + qsizetype(c));
    }
    m_total = 0;
    for (const Chunk &chunk : m_chunks)
        m_total += chunk.sum;
    if (newRows.empty())
        return;
    if (m_chunks.empty())
        m_chunks.emplace_back();
    const auto [c, i] = locate(line);
    Chunk &chunk = m_chunks[c];
    chunk.rows.insert(chunk.rows.begin() + i, newRows.begin(), newRows.end());
    for (const int rows : newRows) {
        chunk.sum += rows;
        m_total += rows;
    }
    m_lines += int(newRows.size());
    if (chunk.rows.size() > 2 * ChunkSize)
        split(c);
}

void RowMap::split(size_t c)
{
    // Into pieces of ChunkSize lines.
    std::vector<int> all = std::move(m_chunks[c].rows);
    m_chunks.erase(m_chunks.begin() + qsizetype(c));
    std::vector<Chunk> pieces;
    for (size_t at = 0; at < all.size(); at += ChunkSize) {
        Chunk piece;
        piece.rows.assign(all.begin() + qsizetype(at),
                          all.begin() + qsizetype(qMin(all.size(), at + ChunkSize)));
        for (const int rows : piece.rows)
            piece.sum += rows;
        pieces.push_back(std::move(piece));
    }
    m_chunks.insert(m_chunks.begin() + qsizetype(c), std::make_move_iterator(pieces.begin()),
                    std::make_move_iterator(pieces.end()));
}

qint64 RowMap::rowsBefore(int line) const
{
    qint64 rows = 0;
    int first = 0;
    for (const Chunk &chunk : m_chunks) {
        const int size = int(chunk.rows.size());
        if (line >= first + size) {
            rows += chunk.sum;
            first += size;
            continue;
        }
        for (int i = 0; i < line - first; ++i)
            rows += chunk.rows[size_t(i)];
        break;
    }
    return rows;
}

std::pair<int, int> RowMap::lineAtRow(qint64 row) const
{
    if (m_lines == 0)
        return {0, 0};
    row = qBound<qint64>(0, row, m_total - 1);
    int first = 0;
    for (const Chunk &chunk : m_chunks) {
        if (row >= chunk.sum) {
            row -= chunk.sum;
            first += int(chunk.rows.size());
            continue;
        }
        for (size_t i = 0; i < chunk.rows.size(); ++i) {
            if (row < chunk.rows[i])
                return {first + int(i), int(row)};
            row -= chunk.rows[i];
        }
    }
    return {m_lines - 1, qMax(0, rows(m_lines - 1) - 1)};
}
