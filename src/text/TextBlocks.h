#pragma once
// The characters of a text, in blocks of a few tens of thousands each. A
// block whose characters all lie below U+0100 keeps one byte a character
// (Latin-1), any other two (UTF-16); positions count UTF-16 units either
// way, so nothing above the store sees the difference, and a text that is
// mostly ASCII takes about a byte a character. An edit touches the blocks
// it falls in (the one it is in, for typing), a block that grows past its
// limit is cut in two, and no block ends between the two halves of a
// surrogate pair, so every block reads on its own.

#include <QtGlobal>

#include <atomic>
#include <future>
#include <memory>
#include <vector>

class TextBlocks
{
public:
    // Blocks are cut this long, and grow to twice that before they are cut again.
    static constexpr qsizetype BlockTarget = qsizetype(1) << 15;
    static constexpr qsizetype BlockLimit = 2 * BlockTarget;

    TextBlocks() = default;
    ~TextBlocks() { clear(); }
    TextBlocks(const TextBlocks &) = delete;
    TextBlocks &operator=(const TextBlocks &) = delete;
    TextBlocks(TextBlocks &&other) noexcept { swap(other); }
    TextBlocks &operator=(TextBlocks &&other) noexcept
    {
        TextBlocks gone(std::move(*this));
        swap(other);
        return *this;
    }
    void swap(TextBlocks &other) noexcept;

    qsizetype size() const { return m_size; }
    char16_t at(qsizetype position) const;
    void copyOut(char16_t *out, qsizetype from, qsizetype count) const;

    // Replaces removed characters at position by count others. All the
    // memory it needs is taken before anything changes: std::bad_alloc
    // leaves the text as it was.
    void replace(qsizetype position, qsizetype removed, const char16_t *chars, qsizetype count);
    void clear();

    // Adds characters at the end, as a text is built: each block is filled
    // to its target length (one that must hold wider characters is widened),
    // and finish() fits the last one to its length.
    void append(const char16_t *chars, qsizetype count);
    void appendLatin1(const char *chars, qsizetype count);
    void finish();
    // The blocks of other, taken over whole, after these (other is empty after).
    void appendBlocks(TextBlocks &&other);
    // A large text of about this many bytes is coming: its blocks are taken
    // from the system in large pieces, with huge pages where the system
    // offers them (a gigabyte of fresh memory costs several times less to
    // take that way), and the next piece is made ready on another thread
    // while this one fills (the system clears every page it hands out, and
    // that clearing is most of the cost of a large text).
    void expectLarge(qsizetype bytes);
    bool expectsLarge() const { return bool(m_large); }
    // Goes on cutting blocks from the large piece other was cutting them
    // from, as the next piece of a text built in pieces.
    void carryOnFrom(TextBlocks &other);

    // A stretch of one block: Latin-1 or UTF-16 characters, from start.
    struct Run
    {
        qsizetype start = 0;
        qsizetype length = 0;
        const char *latin1 = nullptr;
        const char16_t *utf16 = nullptr;
    };
    // The runs of [from, from + count), in order, each cut to that stretch;
    // visit returns false to stop.
    template <typename Visit>
    void forEachRun(qsizetype from, qsizetype count, Visit &&visit) const
    {
        if (count <= 0 || m_blocks.empty())
            return;
        const qsizetype end = from + count;
        for (size_t b = blockOf(from); b < m_blocks.size() && m_starts[b] < end; ++b) {
            const qsizetype start = qMax(from, m_starts[b]);
            const qsizetype stop = qMin(end, m_starts[b] + m_blocks[b].length);
            if (stop > start && !visit(runOf(b, start, stop - start)))
                return;
        }
    }
    // The whole block that holds position (the last one at the end of the text).
    Run blockAt(qsizetype position) const;

    // Bytes the characters take, and how many blocks hold them.
    qsizetype bytes() const;
    qsizetype blockCount() const { return qsizetype(m_blocks.size()); }

private:
    // A large piece of memory that blocks of a text being built are cut
    // from; it goes back to the system once no block lives in it and nothing
    // cuts blocks from it (the texts that hold its blocks may be others, on
    // other threads: a text read in pieces).
    struct Slab
    {
        char *base = nullptr;
        size_t size = 0;
        size_t used = 0;                  // by the one that cuts blocks from it
        std::atomic<qsizetype> holders{1}; // its blocks, and the one that cuts them
    };
    static void release(Slab *slab);
    static Slab *makeSlab(size_t size, bool touched);
    // Where the blocks of a large text are cut from.
    struct LargeText
    {
        Slab *cutting = nullptr;   // the piece blocks are cut from now
        size_t slabSize = 0;
        size_t bytesLeft = 0;      // expected beyond the pieces made so far
        std::future<Slab *> ahead; // the next piece, being made ready
        ~LargeText();
    };
    Slab &slabWithRoom(size_t bytes);
    struct Block
    {
        char *data = nullptr; // Latin-1 bytes, or UTF-16 units
        qsizetype length = 0; // characters
        qsizetype capacity = 0;
        bool wide = false;
        Slab *slab = nullptr; // where the memory came from; none: malloc
        char16_t at(qsizetype i) const
        {
            return wide ? reinterpret_cast<const char16_t *>(data)[i] : char16_t(uchar(data[i]));
        }
    };
    // A stretch of characters to build blocks from: of an old block, or given.
    struct Piece
    {
        const char *latin1 = nullptr;
        const char16_t *utf16 = nullptr;
        qsizetype length = 0;
        char16_t at(qsizetype i) const { return latin1 ? char16_t(uchar(latin1[i])) : utf16[i]; }
    };

    size_t blockOf(qsizetype position) const;
    Run runOf(size_t block, qsizetype from, qsizetype count) const;
    bool replaceInPlace(size_t block, qsizetype offset, qsizetype removed, const char16_t *chars, qsizetype count);
    static std::vector<Block> build(const std::vector<Piece> &pieces, qsizetype length);
    static void release(std::vector<Block> &blocks);
    void restart(size_t from);
    Block &lastWithRoom(bool wide);
    Block newBlock(qsizetype capacity, bool wide);
    void drop(Block &block);

    std::vector<Block> m_blocks;
    std::vector<qsizetype> m_starts; // where each block begins
    qsizetype m_size = 0;
    std::unique_ptr<LargeText> m_large; // none: each block is allocated on its own
};
