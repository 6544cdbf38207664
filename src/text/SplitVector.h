#pragma once
// A vector with a gap: insertions and removals next to the previous one cost
// only the size of the edit, wherever that is in a large sequence. The gap
// moves to each edit, and moving it copies only what lies between its old and
// new place. Elements are plain values, moved with memmove; the memory comes
// from malloc, so that a large buffer can grow in place and a buffer filled
// elsewhere (a file being read) can be adopted without a copy.

#include <QtGlobal>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

#include <sys/mman.h>

template <typename T>
class SplitVector
{
    static_assert(std::is_trivially_copyable_v<T>);

public:
    SplitVector() = default;
    ~SplitVector() { std::free(m_body); }
    SplitVector(const SplitVector &) = delete;
    SplitVector &operator=(const SplitVector &) = delete;
    SplitVector(SplitVector &&other) noexcept { swap(other); }
    SplitVector &operator=(SplitVector &&other) noexcept
    {
        SplitVector gone(std::move(*this));
        swap(other);
        return *this;
    }

    void swap(SplitVector &other) noexcept
    {
        std::swap(m_body, other.m_body);
        std::swap(m_capacity, other.m_capacity);
        std::swap(m_gapStart, other.m_gapStart);
        std::swap(m_gapLength, other.m_gapLength);
    }

    // Takes over a malloc'd buffer holding length elements in room for capacity.
    void adopt(T *body, qsizetype length, qsizetype capacity)
    {
        std::free(m_body);
        m_body = body;
        m_capacity = capacity;
        m_gapStart = length;
        m_gapLength = capacity - length;
    }

    void clear()
    {
        std::free(m_body);
        m_body = nullptr;
        m_capacity = m_gapStart = m_gapLength = 0;
    }

    qsizetype size() const { return m_capacity - m_gapLength; }
    bool isEmpty() const { return size() == 0; }

    T at(qsizetype i) const
    {
        Q_ASSERT(i >= 0 && i < size());
        return i < m_gapStart ? m_body[i] : m_body[i + m_gapLength];
    }
    T &operator[](qsizetype i)
    {
        Q_ASSERT(i >= 0 && i < size());
        return i < m_gapStart ? m_body[i] : m_body[i + m_gapLength];
    }
    T last() const { return at(size() - 1); }

    // The two contiguous runs: before and after the gap.
    const T *firstPart() const { return m_body; }
    qsizetype firstLength() const { return m_gapStart; }
    const T *secondPart() const { return m_body ? m_body + m_gapStart + m_gapLength : nullptr; }
    qsizetype secondLength() const { return m_capacity - m_gapStart - m_gapLength; }
    // Where the gap stands, as an index of the sequence.
    qsizetype gapPosition() const { return m_gapStart; }

    void copyOut(T *out, qsizetype from, qsizetype count) const
    {
        Q_ASSERT(from >= 0 && count >= 0 && from + count <= size());
        if (from < m_gapStart) {
            const qsizetype first = qMin(count, m_gapStart - from);
            std::memcpy(out, m_body + from, size_t(first) * sizeof(T));
            out += first;
            from += first;
            count -= first;
        }
        if (count > 0)
            std::memcpy(out, m_body + from + m_gapLength, size_t(count) * sizeof(T));
    }

    void insert(qsizetype at, const T *values, qsizetype count)
    {
        Q_ASSERT(at >= 0 && at <= size() && count >= 0);
        if (count == 0)
            return;
        makeRoom(count);
        moveGap(at);
        std::memcpy(m_body + m_gapStart, values, size_t(count) * sizeof(T));
        m_gapStart += count;
        m_gapLength -= count;
    }

    void insertValue(qsizetype at, qsizetype count, T value)
    {
        Q_ASSERT(at >= 0 && at <= size() && count >= 0);
        if (count == 0)
            return;
        makeRoom(count);
        moveGap(at);
        for (qsizetype i = 0; i < count; ++i)
            m_body[m_gapStart + i] = value;
        m_gapStart += count;
        m_gapLength -= count;
    }

    void append(T value) { insert(size(), &value, 1); }

    void remove(qsizetype at, qsizetype count)
    {
        Q_ASSERT(at >= 0 && count >= 0 && at + count <= size());
        if (count == 0)
            return;
        if (at == 0 && count == size()) {
            m_gapStart = 0;
            m_gapLength = m_capacity;
            return;
        }
        moveGap(at);
        m_gapLength += count;
    }

    // Room for count more elements, without moving anything yet.
    void reserveMore(qsizetype count) { makeRoom(count); }

private:
    void moveGap(qsizetype at)
    {
        if (at == m_gapStart)
            return;
        if (at < m_gapStart) {
            std::memmove(m_body + at + m_gapLength, m_body + at, size_t(m_gapStart - at) * sizeof(T));
        } else {
            std::memmove(m_body + m_gapStart, m_body + m_gapStart + m_gapLength,
                         size_t(at - m_gapStart) * sizeof(T));
        }
        m_gapStart = at;
    }

    void makeRoom(qsizetype count)
    {
        if (m_gapLength >= count)
            return;
        // Grow by an eighth of the content at least, so a run of insertions
        // costs amortised constant time.
        const qsizetype grow = qMax<qsizetype>(count, qMax<qsizetype>(64, size() / 8));
        const qsizetype capacity = m_capacity + grow;
        const qsizetype tail = secondLength();
        // realloc keeps what lies before the old end; large blocks are remapped
        // by the system rather than copied.
        T *body = static_cast<T *>(std::realloc(m_body, size_t(capacity) * sizeof(T)));
        if (!body)
            throw std::bad_alloc();
        adviseHugePages(body, size_t(capacity) * sizeof(T));
        if (tail > 0)
            std::memmove(body + capacity - tail, body + m_capacity - tail, size_t(tail) * sizeof(T));
        m_body = body;
        m_gapLength += capacity - m_capacity;
        m_capacity = capacity;
    }

    // A large buffer (the line starts of a large text) is best held in huge
    // pages, where the system offers them: fresh memory costs far less to
    // take that way.
    static void adviseHugePages(void *body, size_t bytes)
    {
#ifdef MADV_HUGEPAGE
        constexpr size_t Huge = size_t(2) << 20;
        if (bytes < 4 * Huge)
            return;
        const auto start = (reinterpret_cast<uintptr_t>(body) + Huge - 1) & ~(Huge - 1);
        const auto end = (reinterpret_cast<uintptr_t>(body) + bytes) & ~(Huge - 1);
        if (end > start)
            ::madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
#else
        Q_UNUSED(body);
        Q_UNUSED(bytes);
#endif
    }

    T *m_body = nullptr;
    qsizetype m_capacity = 0;
    qsizetype m_gapStart = 0;
    qsizetype m_gapLength = 0;
};
