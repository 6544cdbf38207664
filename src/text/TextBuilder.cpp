#include "TextBuilder.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The first CR or LF in [from, end), or end.
const char16_t *nextBreak(const char16_t *from, const char16_t *end)
{
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi16('\n');
    const __m128i cr = _mm_set1_epi16('\r');
    while (end - from >= 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
        const int mask = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi16(chunk, lf), _mm_cmpeq_epi16(chunk, cr)));
        if (mask)
            return from + __builtin_ctz(unsigned(mask)) / 2;
        from += 8;
    }
#endif
    while (from < end && *from != u'\n' && *from != u'\r')
        ++from;
    return from;
}

} // namespace

TextBuilder::TextBuilder(qsizetype expected)
{
    if (expected > 0) {
        // A little room to spare, so the first edits need not grow the buffer.
        m_capacity = expected + qMin<qsizetype>(expected / 16 + 1024, 1 << 20);
        m_buffer = static_cast<char16_t *>(std::malloc(size_t(m_capacity) * sizeof(char16_t)));
        if (!m_buffer)
            throw std::bad_alloc();
    }
    m_store.m_lines.reset(0);
}

TextBuilder::~TextBuilder()
{
    std::free(m_buffer);
}

char16_t *TextBuilder::appendSpace(qsizetype count)
{
    const qsizetype needed = m_written + m_pending + count;
    if (needed > TextStore::MaxLength + 1)
        throw std::length_error("text too long");
    if (needed > m_capacity) {
        const qsizetype capacity = qMax(needed, m_capacity + m_capacity / 2 + 4096);
        auto *grown = static_cast<char16_t *>(std::realloc(m_buffer, size_t(capacity) * sizeof(char16_t)));
        if (!grown)
            throw std::bad_alloc();
        m_buffer = grown;
        m_capacity = capacity;
    }
    return m_buffer + m_written + m_pending;
}

void TextBuilder::commit(qsizetype count)
{
    m_pending += count;
    scan(false);
}

void TextBuilder::append(QStringView text)
{
    char16_t *out = appendSpace(text.size());
    std::memcpy(out, text.utf16(), size_t(text.size()) * sizeof(char16_t));
    commit(text.size());
}

void TextBuilder::scan(bool atEnd)
{
    // Characters are read at `in` and written at `out`: once a CRLF has
    // become one "\n", everything after it moves down.
    const char16_t *in = m_buffer + m_written;
    const char16_t *end = in + m_pending;
    char16_t *out = m_buffer + m_written;
    LineIndex &lines = m_store.m_lines;
    while (in < end) {
        const char16_t *found = nextBreak(in, end);
        if (out != in)
            std::memmove(out, in, size_t(found - in) * sizeof(char16_t));
        out += found - in;
        in = found;
        if (in == end)
            break;
        LineBreak kind = LineBreak::LF;
        if (*in == u'\r') {
            if (in + 1 == end && !atEnd)
                break; // its LF may be in the next piece
            kind = (in + 1 < end && in[1] == u'\n') ? LineBreak::CRLF : LineBreak::CR;
        }
        in += kind == LineBreak::CRLF ? 2 : 1;
        *out++ = u'\n';
        lines.appendLine(int(out - m_buffer), kind);
    }
    // A carriage return held back stays after what is written.
    const qsizetype held = end - in;
    if (held > 0 && out != in)
        std::memmove(out, in, size_t(held) * sizeof(char16_t));
    m_written = out - m_buffer;
    m_pending = held;
}

TextStore TextBuilder::take()
{
    scan(true);
    if (m_written > TextStore::MaxLength)
        throw std::length_error("text too long");
    m_store.m_lines.setEnd(int(m_written));
    if (m_buffer)
        m_store.m_text.adopt(m_buffer, m_written, m_capacity);
    m_store.changed();
    m_buffer = nullptr;
    m_capacity = m_written = m_pending = 0;
    TextStore store = std::move(m_store);
    m_store = TextStore();
    m_store.m_lines.reset(0);
    return store;
}
