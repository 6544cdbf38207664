#include "TextBlocks.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

#include <QChar>
#include <QString>

#include <sys/mman.h>

namespace {

bool allLatin1(const char16_t *chars, qsizetype count)
{
    char16_t wide = 0;
    for (qsizetype i = 0; i < count; ++i)
        wide |= chars[i];
    return wide < 0x100;
}

void narrowInto(char *out, const char16_t *chars, qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i)
        out[i] = char(chars[i]);
}

void widenInto(char16_t *out, const char *chars, qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i)
        out[i] = char16_t(uchar(chars[i]));
}

// The bytes count characters take: one each, or two where the block is wide.
size_t bytesFor(qsizetype count, bool wide)
{
    return size_t(count) * (wide ? 2 : 1);
}

// The same cut from a slab, where each block starts 16-byte aligned.
size_t slabBytesFor(qsizetype count, bool wide)
{
    return (bytesFor(count, wide) + 15) & ~size_t(15);
}

char *allocate(qsizetype capacity, bool wide)
{
    void *made = std::malloc(bytesFor(qMax<qsizetype>(1, capacity), wide));
    if (!made)
        throw std::bad_alloc();
    return static_cast<char *>(made);
}

} // namespace

// Large pieces are taken at most this large, and in whole huge pages.
constexpr size_t SlabLimit = size_t(32) << 20;
constexpr size_t HugePage = size_t(2) << 20;

void TextBlocks::swap(TextBlocks &other) noexcept
{
    m_blocks.swap(other.m_blocks);
    m_starts.swap(other.m_starts);
    std::swap(m_size, other.m_size);
    m_large.swap(other.m_large);
}

void TextBlocks::clear()
{
    for (Block &block : m_blocks)
        drop(block);
    m_blocks.clear();
    m_starts.clear();
    m_size = 0;
    m_large.reset();
}

void TextBlocks::release(Slab *slab)
{
    if (slab && --slab->holders == 0) {
        ::munmap(slab->base, slab->size);
        delete slab;
    }
}

TextBlocks::LargeText::~LargeText()
{
    release(cutting);
    if (ahead.valid()) {
        try {
            release(ahead.get());
        } catch (...) {
            // it was never made
        }
    }
}

void TextBlocks::carryOnFrom(TextBlocks &other)
{
    m_large = std::move(other.m_large);
}

void TextBlocks::expectLarge(qsizetype bytes)
{
    m_large = std::make_unique<LargeText>();
    // In whole huge pages, a little over what is expected where that is less.
    const size_t wanted = (size_t(bytes) + size_t(bytes) / 16 + HugePage - 1) & ~(HugePage - 1);
    m_large->slabSize = qMin(SlabLimit, qMax(HugePage, wanted));
    m_large->bytesLeft = size_t(qMax<qsizetype>(0, bytes));
}

TextBlocks::Slab *TextBlocks::makeSlab(size_t size, bool touched)
{
    void *base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (base == MAP_FAILED)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    ::madvise(base, size, MADV_HUGEPAGE);
#endif
    Slab *slab = new (std::nothrow) Slab;
    if (!slab) {
        ::munmap(base, size);
        throw std::bad_alloc();
    }
    slab->base = static_cast<char *>(base);
    slab->size = size;
    if (touched) {
        // Taken from the system now, on this thread: a write to every page
        // (where the system cannot take it in at once).
#ifdef MADV_POPULATE_WRITE
        if (::madvise(base, size, MADV_POPULATE_WRITE) == 0)
            return slab;
#endif
        for (size_t at = 0; at < size; at += 4096)
            slab->base[at] = 0;
    }
    return slab;
}

TextBlocks::Slab &TextBlocks::slabWithRoom(size_t bytes)
{
    LargeText &large = *m_large;
    if (large.cutting && large.cutting->size - large.cutting->used >= bytes)
        return *large.cutting;
    Slab *next = nullptr;
    if (large.ahead.valid())
        next = large.ahead.get(); // throws where it could not be made
    if (!next)
        next = makeSlab(large.slabSize, false);
    release(large.cutting);
    large.cutting = next;
    large.bytesLeft -= qMin(large.bytesLeft, next->size);
    if (large.bytesLeft > 0) {
        try {
            large.ahead = std::async(std::launch::async, &TextBlocks::makeSlab, large.slabSize, true);
        } catch (const std::system_error &) {
            // no thread to make it on: the next one is made when it is needed
        }
    }
    return *next;
}

TextBlocks::Block TextBlocks::newBlock(qsizetype capacity, bool wide)
{
    const size_t bytes = slabBytesFor(capacity, wide);
    if (!m_large || bytes > m_large->slabSize)
        return Block{allocate(capacity, wide), 0, capacity, wide, nullptr};
    Slab &slab = slabWithRoom(bytes);
    Block block{slab.base + slab.used, 0, capacity, wide, &slab};
    slab.used += bytes;
    ++slab.holders;
    return block;
}

void TextBlocks::drop(Block &block)
{
    if (block.slab)
        release(block.slab);
    else
        std::free(block.data);
    block.data = nullptr;
    block.slab = nullptr;
}

void TextBlocks::release(std::vector<Block> &blocks)
{
    for (Block &block : blocks)
        std::free(block.data);
    blocks.clear();
}

size_t TextBlocks::blockOf(qsizetype position) const
{
    // Blocks are never empty, so their starts rise: the last that is not after position.
    const auto after = std::upper_bound(m_starts.begin(), m_starts.end(), position);
    return after == m_starts.begin() ? 0 : size_t(after - m_starts.begin() - 1);
}

TextBlocks::Run TextBlocks::runOf(size_t block, qsizetype from, qsizetype count) const
{
    const Block &b = m_blocks[block];
    const qsizetype offset = from - m_starts[block];
    Run run{from, count, nullptr, nullptr};
    if (b.wide)
        run.utf16 = reinterpret_cast<const char16_t *>(b.data) + offset;
    else
        run.latin1 = b.data + offset;
    return run;
}

TextBlocks::Run TextBlocks::blockAt(qsizetype position) const
{
    if (m_blocks.empty())
        return Run();
    const size_t b = blockOf(position);
    return runOf(b, m_starts[b], m_blocks[b].length);
}

char16_t TextBlocks::at(qsizetype position) const
{
    Q_ASSERT(position >= 0 && position < m_size);
    const size_t b = blockOf(position);
    return m_blocks[b].at(position - m_starts[b]);
}

void TextBlocks::copyOut(char16_t *out, qsizetype from, qsizetype count) const
{
    Q_ASSERT(from >= 0 && count >= 0 && from + count <= m_size);
    forEachRun(from, count, [&out](const Run &run) {
        if (run.utf16)
            std::memcpy(out, run.utf16, size_t(run.length) * sizeof(char16_t));
        else
            widenInto(out, run.latin1, run.length);
        out += run.length;
        return true;
    });
}

qsizetype TextBlocks::bytes() const
{
    qsizetype total = 0;
    for (const Block &block : m_blocks)
        total += qsizetype(bytesFor(block.capacity, block.wide));
    return total;
}

void TextBlocks::restart(size_t from)
{
    m_starts.resize(m_blocks.size());
    qsizetype position = from > 0 ? m_starts[from - 1] + m_blocks[from - 1].length : 0;
    for (size_t b = from; b < m_blocks.size(); ++b) {
        m_starts[b] = position;
        position += m_blocks[b].length;
    }
}

bool TextBlocks::replaceInPlace(size_t index, qsizetype offset, qsizetype removed, const char16_t *chars,
                                qsizetype count)
{
    Block &block = m_blocks[index];
    const qsizetype length = block.length - removed + count;
    if (length <= 0 || length > block.capacity || length > BlockLimit || (!block.wide && !allLatin1(chars, count)))
        return false;
    // Where the edit makes the block's first or last character, no pair may
    // come to straddle two blocks.
    const qsizetype after = offset + removed;
    if (offset == 0 && index > 0) {
        const char16_t first = count > 0 ? chars[0] : block.at(after);
        const Block &before = m_blocks[index - 1];
        if (QChar::isLowSurrogate(first) && QChar::isHighSurrogate(before.at(before.length - 1)))
            return false;
    }
    if (after == block.length && index + 1 < m_blocks.size()) {
        const char16_t last = count > 0 ? chars[count - 1] : block.at(offset - 1);
        if (QChar::isHighSurrogate(last) && QChar::isLowSurrogate(m_blocks[index + 1].at(0)))
            return false;
    }
    const int unit = block.wide ? 2 : 1;
    std::memmove(block.data + (offset + count) * unit, block.data + after * unit,
                 size_t(block.length - after) * size_t(unit));
    if (block.wide && count > 0)
        std::memcpy(block.data + offset * unit, chars, size_t(count) * sizeof(char16_t));
    else if (count > 0)
        narrowInto(block.data + offset, chars, count);
    block.length = length;
    const qsizetype delta = count - removed;
    for (size_t b = index + 1; b < m_starts.size(); ++b)
        m_starts[b] += delta;
    m_size += delta;
    return true;
}

void TextBlocks::replace(qsizetype position, qsizetype removed, const char16_t *chars, qsizetype count)
{
    Q_ASSERT(position >= 0 && removed >= 0 && position + removed <= m_size && count >= 0);
    if (removed == 0 && count == 0)
        return;
    if (m_blocks.empty()) {
        std::vector<Block> made = build({Piece{nullptr, chars, count}}, count);
        m_blocks.swap(made);
        restart(0);
        m_size = count;
        return;
    }
    size_t first = blockOf(position);
    size_t last = removed > 0 ? blockOf(position + removed - 1) : first;
    if (first == last && replaceInPlace(first, position - m_starts[first], removed, chars, count))
        return;

    // The blocks the edit touches are built anew, with a neighbour where a
    // pair would otherwise come to straddle two blocks.
    const qsizetype end = position + removed;
    auto firstUnit = [this](size_t b) { return m_blocks[b].at(0); };
    auto lastUnit = [this](size_t b) { return m_blocks[b].at(m_blocks[b].length - 1); };
    for (;;) {
        const qsizetype from = m_starts[first];
        const qsizetype to = m_starts[last] + m_blocks[last].length;
        std::optional<char16_t> newFirst;
        std::optional<char16_t> newLast;
        if (position > from)
            newFirst = at(from);
        else if (count > 0)
            newFirst = chars[0];
        else if (end < to)
            newFirst = at(end);
        if (end < to)
            newLast = at(to - 1);
        else if (count > 0)
            newLast = chars[count - 1];
        else if (position > from)
            newLast = at(position - 1);
        bool grew = false;
        const bool startsLow = newFirst ? QChar::isLowSurrogate(*newFirst)
                                        : last + 1 < m_blocks.size() && QChar::isLowSurrogate(firstUnit(last + 1));
        if (first > 0 && startsLow && QChar::isHighSurrogate(lastUnit(first - 1))) {
            --first;
            grew = true;
        }
        const bool endsHigh = newLast ? QChar::isHighSurrogate(*newLast)
                                      : first > 0 && QChar::isHighSurrogate(lastUnit(first - 1));
        if (last + 1 < m_blocks.size() && endsHigh && QChar::isLowSurrogate(firstUnit(last + 1))) {
            ++last;
            grew = true;
        }
        if (!grew)
            break;
    }
    const qsizetype from = m_starts[first];
    const qsizetype to = m_starts[last] + m_blocks[last].length;
    std::vector<Piece> pieces;
    auto keep = [&pieces](const Run &run) {
        pieces.push_back(Piece{run.latin1, run.utf16, run.length});
        return true;
    };
    forEachRun(from, position - from, keep);
    if (count > 0)
        pieces.push_back(Piece{nullptr, chars, count});
    forEachRun(end, to - end, keep);
    const qsizetype length = (position - from) + count + (to - end);
    std::vector<Block> made = build(pieces, length);
    try {
        m_blocks.reserve(m_blocks.size() + made.size());
        m_starts.reserve(m_blocks.size() + made.size());
    } catch (...) {
        release(made);
        throw;
    }
    // Nothing below fails: the old blocks go, the new take their place.
    for (size_t b = first; b <= last; ++b)
        drop(m_blocks[b]);
    m_blocks.erase(m_blocks.begin() + qsizetype(first), m_blocks.begin() + qsizetype(last) + 1);
    m_blocks.insert(m_blocks.begin() + qsizetype(first), made.begin(), made.end());
    restart(first);
    m_size += count - removed;
}

std::vector<TextBlocks::Block> TextBlocks::build(const std::vector<Piece> &pieces, qsizetype length)
{
    std::vector<Block> made;
    made.reserve(size_t(length / BlockTarget + 2));
    // Reads the pieces as one stretch.
    size_t piece = 0;
    qsizetype offset = 0; // in pieces[piece]
    auto unitAhead = [&](qsizetype ahead) {
        size_t p = piece;
        qsizetype o = offset + ahead;
        while (o >= pieces[p].length) {
            o -= pieces[p].length;
            ++p;
        }
        return pieces[p].at(o);
    };
    try {
        for (qsizetype left = length; left > 0;) {
            // Where blocks would be cut in two, they are cut at the middle
            // rather than leave a small one; never inside a pair.
            qsizetype take = left <= BlockLimit ? left : left < BlockLimit + BlockTarget ? left / 2 : BlockTarget;
            if (take < left && QChar::isHighSurrogate(unitAhead(take - 1)) && QChar::isLowSurrogate(unitAhead(take)))
                take = take > 1 ? take - 1 : take + 1;
            // One byte a character where all of them allow it.
            bool wide = false;
            for (qsizetype need = take, p = qsizetype(piece), o = offset; need > 0 && !wide; ++p, o = 0) {
                const qsizetype n = qMin(pieces[size_t(p)].length - o, need);
                wide = pieces[size_t(p)].utf16 && !allLatin1(pieces[size_t(p)].utf16 + o, n);
                need -= n;
            }
            // Room to grow a little, so typing does not build the block again at once.
            const qsizetype capacity = qMin(BlockLimit, take + take / 4 + 64);
            Block block{allocate(qMax(capacity, take), wide), take, qMax(capacity, take), wide, nullptr};
            made.push_back(block);
            for (qsizetype filled = 0; filled < take;) {
                const Piece &from = pieces[piece];
                const qsizetype n = qMin(from.length - offset, take - filled);
                if (wide) {
                    auto *out = reinterpret_cast<char16_t *>(block.data) + filled;
                    if (from.utf16)
                        std::memcpy(out, from.utf16 + offset, size_t(n) * sizeof(char16_t));
                    else
                        widenInto(out, from.latin1 + offset, n);
                } else if (from.utf16) {
                    narrowInto(block.data + filled, from.utf16 + offset, n);
                } else {
                    std::memcpy(block.data + filled, from.latin1 + offset, size_t(n));
                }
                filled += n;
                offset += n;
                if (offset == from.length) {
                    ++piece;
                    offset = 0;
                }
            }
            left -= take;
        }
    } catch (...) {
        release(made);
        throw;
    }
    return made;
}

TextBlocks::Block &TextBlocks::lastWithRoom(bool wide)
{
    if (m_blocks.empty() || m_blocks.back().length >= BlockTarget) {
        // Room in the lists first (growing as vectors do), so that a block
        // made is never lost.
        if (m_blocks.size() == m_blocks.capacity())
            m_blocks.reserve(m_blocks.size() * 2 + 16);
        if (m_starts.size() == m_starts.capacity())
            m_starts.reserve(m_starts.size() * 2 + 16);
        // One more than the target: a pair that would end a block goes whole.
        m_blocks.push_back(newBlock(BlockTarget + 1, wide));
        m_starts.push_back(m_size);
    }
    Block &block = m_blocks.back();
    if (wide && !block.wide) {
        Block widened = newBlock(block.capacity, true);
        widenInto(reinterpret_cast<char16_t *>(widened.data), block.data, block.length);
        widened.length = block.length;
        drop(block);
        block = widened;
    }
    return block;
}

void TextBlocks::append(const char16_t *chars, qsizetype count)
{
    // The low half of a pair whose high half ends a full block goes in its spare place.
    if (count > 0 && !m_blocks.empty() && m_blocks.back().length == BlockTarget && QChar::isLowSurrogate(chars[0])
        && QChar::isHighSurrogate(m_blocks.back().at(BlockTarget - 1)) && m_blocks.back().capacity > BlockTarget) {
        Block &block = m_blocks.back(); // wide: it holds a surrogate
        reinterpret_cast<char16_t *>(block.data)[block.length++] = chars[0];
        ++m_size;
        ++chars;
        --count;
    }
    while (count > 0) {
        Block &last = lastWithRoom(false);
        qsizetype take = qMin(count, BlockTarget - last.length);
        if (take < count && QChar::isHighSurrogate(chars[take - 1]) && QChar::isLowSurrogate(chars[take]))
            ++take; // the block's one spare place
        Block &block = allLatin1(chars, take) ? last : lastWithRoom(true);
        if (block.wide)
            std::memcpy(reinterpret_cast<char16_t *>(block.data) + block.length, chars, size_t(take) * 2);
        else
            narrowInto(block.data + block.length, chars, take);
        block.length += take;
        m_size += take;
        chars += take;
        count -= take;
    }
}

void TextBlocks::appendLatin1(const char *chars, qsizetype count)
{
    while (count > 0) {
        Block &block = lastWithRoom(false);
        const qsizetype take = qMin(count, qMax<qsizetype>(1, BlockTarget - block.length));
        if (block.wide)
            widenInto(reinterpret_cast<char16_t *>(block.data) + block.length, chars, take);
        else
            std::memcpy(block.data + block.length, chars, size_t(take));
        block.length += take;
        m_size += take;
        chars += take;
        count -= take;
    }
}

void TextBlocks::appendBlocks(TextBlocks &&other)
{
    if (other.m_blocks.empty())
        return;
    if (m_size > 0 && QChar::isHighSurrogate(m_blocks.back().at(m_blocks.back().length - 1))
        && QChar::isLowSurrogate(other.m_blocks[0].at(0))) {
        // A pair would straddle the two: its characters go in as an edit does.
        QString rest(other.m_size, Qt::Uninitialized);
        other.copyOut(reinterpret_cast<char16_t *>(rest.data()), 0, other.m_size);
        replace(m_size, 0, reinterpret_cast<const char16_t *>(rest.constData()), rest.size());
        other.clear();
        return;
    }
    // Room in the lists first: where memory runs out, nothing has changed.
    m_blocks.reserve(m_blocks.size() + other.m_blocks.size());
    m_starts.reserve(m_blocks.size() + other.m_blocks.size());
    for (size_t b = 0; b < other.m_blocks.size(); ++b) {
        m_blocks.push_back(other.m_blocks[b]);
        m_starts.push_back(m_size + other.m_starts[b]);
    }
    m_size += other.m_size;
    other.m_blocks.clear();
    other.m_starts.clear();
    other.m_size = 0;
}

void TextBlocks::finish()
{
    if (m_blocks.empty())
        return;
    Block &last = m_blocks.back();
    if (last.length == 0) {
        drop(last);
        m_blocks.pop_back();
        m_starts.pop_back();
        return;
    }
    if (last.slab && m_large && last.slab == m_large->cutting) {
        // What the last block does not take goes back to its piece.
        Slab &slab = *last.slab;
        if (last.data + slabBytesFor(last.capacity, last.wide) == slab.base + slab.used) {
            slab.used = size_t(last.data - slab.base) + slabBytesFor(last.length, last.wide);
            last.capacity = last.length;
        }
        return;
    }
    if (last.capacity > last.length) {
        if (auto *fitted = static_cast<char *>(std::realloc(last.data, bytesFor(last.length, last.wide)))) {
            last.data = fitted;
            last.capacity = last.length;
        }
    }
}
