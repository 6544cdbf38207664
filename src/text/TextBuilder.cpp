#include "TextBuilder.h"

#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// A text this long or longer takes its memory in large pieces.
constexpr qsizetype LargeText = qsizetype(8) << 20;

// The first CR or LF in [from, end), or end.
const char16_t *nextBreak(const char16_t *from, const char16_t *end)
{
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi16('\n');
    const __m128i cr = _mm_set1_epi16('\r');
    while (end - from >= 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(chunk, lf), _mm_cmpeq_epi16(chunk, cr)));
        if (mask)
            return from + __builtin_ctz(unsigned(mask)) / 2;
        from += 8;
    }
#endif
    while (from < end && *from != u'\n' && *from != u'\r')
        ++from;
    return from;
}

const char *nextBreak(const char *from, const char *end)
{
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    while (end - from >= 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, lf), _mm_cmpeq_epi8(chunk, cr)));
        if (mask)
            return from + __builtin_ctz(unsigned(mask));
        from += 16;
    }
#endif
    while (from < end && *from != '\n' && *from != '\r')
        ++from;
    return from;
}

} // namespace

TextBuilder::TextBuilder(qsizetype expected, qsizetype inAll)
{
    // Lines of a typical text are some tens of characters long.
    m_store.m_lines.reset(0);
    if (expected > 0)
        m_store.m_lines.reserve(qMin<qsizetype>(expected / 32, TextStore::MaxLength / 32) + 16);
    inAll = qMax(inAll, expected);
    if (inAll >= LargeText)
        m_store.m_text.expectLarge(inAll);
}

void TextBuilder::append(QStringView text)
{
    add(text.utf16(), text.size());
}

void TextBuilder::appendLatin1(QByteArrayView bytes)
{
    // Most text has no CR at all: then the bytes go in whole, and only the
    // line starts are looked for.
    if (!m_carriageReturn && !std::memchr(bytes.data(), '\r', size_t(bytes.size())))
        addLatin1WithoutCarriageReturns(bytes.data(), bytes.size());
    else
        add(bytes.data(), bytes.size());
}

void TextBuilder::addLatin1WithoutCarriageReturns(const char *chars, qsizetype count)
{
    const qsizetype start = m_store.m_text.size();
    if (start + count > TextStore::MaxLength + 1)
        throw std::length_error("text too long");
    m_store.m_text.appendLatin1(chars, count);
    // Where each new line starts, gathered and handed to the index a batch at a time.
    constexpr int Batch = 4096;
    int starts[Batch + 16];
    int found = 0;
    auto flush = [&] {
        m_store.m_lines.appendLines(starts, found);
        found = 0;
    };
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= count; i += 16) {
        unsigned mask = unsigned(_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(chars + i)), lf)));
        while (mask) {
            starts[found++] = int(start + i + __builtin_ctz(mask) + 1);
            mask &= mask - 1;
        }
        if (found >= Batch)
            flush();
    }
#endif
    for (; i < count; ++i) {
        if (chars[i] == '\n')
            starts[found++] = int(start + i + 1);
        if (found >= Batch)
            flush();
    }
    flush();
}

template <typename Char>
void TextBuilder::add(const Char *chars, qsizetype count)
{
    const Char *in = chars;
    const Char *end = chars + count;
    if (m_carriageReturn && in < end) {
        m_carriageReturn = false;
        const bool crlf = *in == Char('\n');
        addBreak(crlf ? LineBreak::CRLF : LineBreak::CR);
        if (crlf)
            ++in;
    }
    while (in < end) {
        const Char *found = nextBreak(in, end);
        if (m_store.m_text.size() + (found - in) > TextStore::MaxLength)
            throw std::length_error("text too long");
        addCharacters(in, found - in);
        if (found == end)
            break;
        LineBreak kind = LineBreak::LF;
        if (*found == Char('\r')) {
            if (found + 1 == end) {
                m_carriageReturn = true; // its LF may begin the next piece
                break;
            }
            kind = found[1] == Char('\n') ? LineBreak::CRLF : LineBreak::CR;
        }
        in = found + (kind == LineBreak::CRLF ? 2 : 1);
        addBreak(kind);
    }
}

void TextBuilder::addBreak(LineBreak kind)
{
    const char16_t lf = u'\n';
    m_store.m_text.append(&lf, 1);
    m_store.m_lines.appendLine(int(m_store.m_text.size()), kind);
}

TextStore TextBuilder::take()
{
    if (m_carriageReturn) {
        m_carriageReturn = false;
        addBreak(LineBreak::CR);
    }
    if (m_store.m_text.size() > TextStore::MaxLength)
        throw std::length_error("text too long");
    m_store.m_text.finish();
    m_store.m_lines.setEnd(int(m_store.m_text.size()));
    m_store.changed();
    TextStore store = std::move(m_store);
    m_store = TextStore();
    m_store.m_lines.reset(0);
    // The next text built here (the next piece of a text) goes on in the
    // large piece of memory this one was cut from.
    m_store.m_text.carryOnFrom(store.m_text);
    return store;
}
