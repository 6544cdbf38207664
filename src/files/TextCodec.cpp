#include "TextCodec.h"

#include "text/TextBuilder.h"

#include <QBuffer>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace TextCodec {

namespace {

// Windows-1252 from 0x80 to 0x9F. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control characters
// of the same value, so every byte survives a round trip.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char Utf8Bom[] = "\xEF\xBB\xBF";

bool isAscii(const char *data, qsizetype size)
{
    uchar high = 0;
    for (qsizetype i = 0; i < size; ++i)
        high |= uchar(data[i]);
    return high < 0x80;
}

// Whether every byte is a character of the same value in Windows-1252 and
// in Latin-1 (all but 0x80 to 0x9F).
bool isLatin1InCp1252(const char *data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = uchar(data[i]);
        if (b >= 0x80 && b < 0xA0)
            return false;
    }
    return true;
}

// How many leading bytes of data end on a whole UTF-8 sequence; the rest
// waits for the next piece.
qsizetype wholeSequences(const char *data, qsizetype size)
{
    qsizetype i = size - 1;
    while (i >= 0 && i > size - 4 && (uchar(data[i]) & 0xC0) == 0x80)
        --i;
    if (i < 0)
        return size;
    const uchar lead = uchar(data[i]);
    const qsizetype need = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
                         : (lead & 0xF8) == 0xF0 ? 4 : 1;
    return size - i < need ? i : size;
}

// Hands on what builder holds as a piece of the text, where it has grown
// to a piece's length (or at the end), and starts the next.
class Pieces
{
public:
    Pieces(const Deliver &deliver, qint64 size)
        : m_deliver(deliver)
        , m_builder(std::in_place, qMin<qint64>(size, TextPiece), size)
    {
    }
    TextBuilder &builder() { return *m_builder; }
    bool handOn(bool atEnd)
    {
        if (!atEnd && m_builder->length() < (m_first ? FirstTextPiece : TextPiece))
            return true;
        TextStore piece = m_builder->take();
        if (const LineBreak last = piece.lastBreak(); last != LineBreak::None)
            m_lastBreak = last;
        const bool first = m_first;
        m_first = false;
        return m_deliver(std::move(piece), first);
    }
    LineBreak lastBreak() const { return m_lastBreak; }

private:
    const Deliver &m_deliver;
    std::optional<TextBuilder> m_builder;
    bool m_first = true;
    LineBreak m_lastBreak = LineBreak::None;
};

// How many leading bytes of data a piece may end after: on a whole UTF-8
// sequence, and not between a CR and the LF that may follow it.
qsizetype pieceEnd(const char *data, qsizetype size, bool utf8)
{
    qsizetype end = utf8 ? wholeSequences(data, size) : size;
    if (end > 0 && data[end - 1] == '\r')
        --end;
    return end;
}

// Reads in a chunk at a time into pieces. Each chunk's leading bytes that
// decode on their own go to add, which says false where they are not of the
// encoding (the reading then ends there); the rest waits for the next chunk.
template<typename Add>
Decoded readInChunks(QIODevice &in, Pieces &pieces, const PieceRead &pieceRead, bool utf8, Add add)
{
    QByteArray chunk(PieceSize + 4, Qt::Uninitialized);
    qsizetype carried = 0;
    qint64 done = 0;
    for (;;) {
        const qint64 n = in.read(chunk.data() + carried, PieceSize);
        if (n < 0)
            return Decoded::Failed;
        const qsizetype have = carried + qsizetype(n);
        const qsizetype whole = n == 0 ? have : pieceEnd(chunk.constData(), have, utf8);
        if (whole > 0 && !add(chunk.constData(), whole))
            return Decoded::Done;
        carried = have - whole;
        std::memmove(chunk.data(), chunk.constData() + whole, size_t(carried));
        done += n;
        if (!pieces.handOn(n == 0))
            return Decoded::Stopped;
        if (pieceRead && !pieceRead(done))
            return Decoded::Stopped;
        if (n == 0)
            return Decoded::Done;
    }
}

Decoded readUtf8(QIODevice &in, Pieces &pieces, const PieceRead &pieceRead, bool *notUtf8)
{
    // Each piece ends on a whole sequence, so it decodes on its own; a mark
    // at the start of a piece is a character, not a mark.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString wide;
    return readInChunks(in, pieces, pieceRead, true, [&](const char *data, qsizetype size) {
        if (isAscii(data, size)) {
            pieces.builder().appendLatin1(QByteArrayView(data, size)); // a byte a character
            return true;
        }
        wide.resize(size);
        const QChar *end = utf8.appendToBuffer(wide.data(), QByteArrayView(data, size));
        if (utf8.hasError()) {
            *notUtf8 = true;
            return false;
        }
        pieces.builder().append(QStringView(wide.constData(), end - wide.constData()));
        return true;
    });
}

Decoded readCp1252(QIODevice &in, Pieces &pieces, const PieceRead &pieceRead)
{
    QString wide;
    return readInChunks(in, pieces, pieceRead, false, [&](const char *data, qsizetype size) {
        if (isLatin1InCp1252(data, size)) {
            pieces.builder().appendLatin1(QByteArrayView(data, size));
            return true;
        }
        wide.resize(size);
        auto *out = reinterpret_cast<char16_t *>(wide.data());
        for (qsizetype i = 0; i < size; ++i) {
            const auto b = uchar(data[i]);
            out[i] = (b >= 0x80 && b < 0xA0) ? Cp1252High[b - 0x80] : char16_t(b);
        }
        pieces.builder().append(QStringView(wide.constData(), size));
        return true;
    });
}

bool endsWithBreak(const TextStore &text)
{
    return text.lineCount() > 1 && text.lineLength(text.lineCount() - 1) == 0;
}

// The byte a character is in Windows-1252, or -1 where it has none.
int cp1252Byte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    const auto high = std::find(Cp1252High.begin(), Cp1252High.end(), c);
    return high == Cp1252High.end() ? -1 : 0x80 + int(high - Cp1252High.begin());
}

bool fitsCp1252(const TextStore &text)
{
    bool fits = true;
    text.forEachRun(0, text.length(), [&fits](const TextBlocks::Run &run) {
        for (qsizetype i = 0; i < run.length && fits; ++i) {
            const char16_t c = run.utf16 ? run.utf16[i] : char16_t(uchar(run.latin1[i]));
            fits = c == u'\n' || cp1252Byte(c) >= 0;
        }
        return fits;
    });
    return fits;
}

// Gathers bytes and hands them on in pieces of about a megabyte.
class Output
{
public:
    explicit Output(const Put &put)
        : m_put(put)
    {
        m_buffer.reserve(PieceSize + 64);
    }
    bool append(const char *data, qsizetype size)
    {
        m_buffer.append(data, size);
        return m_buffer.size() < PieceSize || flush();
    }
    // Room for size more bytes, to be filled and then committed.
    char *space(qsizetype size)
    {
        const qsizetype used = m_buffer.size();
        m_buffer.resize(used + size);
        return m_buffer.data() + used;
    }
    bool commit(const char *end)
    {
        m_buffer.resize(end - m_buffer.constData());
        return m_buffer.size() < PieceSize || flush();
    }
    bool flush()
    {
        const bool ok = m_buffer.isEmpty() || m_put(m_buffer.constData(), m_buffer.size());
        m_buffer.clear();
        return ok;
    }

private:
    const Put &m_put;
    QByteArray m_buffer;
};

} // namespace

Format platformFormat()
{
    Format format;
#ifdef Q_OS_WIN
    format.lineBreak = LineBreak::CRLF;
#else
    format.lineBreak = LineBreak::LF;
#endif
    return format;
}

Format clipboardFormat(const TextStore &text)
{
    Format format = platformFormat();
    if (const LineBreak last = text.lastBreak(); last != LineBreak::None)
        format.lineBreak = last;
    return format;
}

Decoded decodeInPieces(QIODevice &in, qint64 size, const PieceRead &pieceRead, const Deliver &deliver,
                       Format *format)
{
    char head[3] = {};
    const bool bom = in.read(head, 3) == 3 && std::memcmp(head, Utf8Bom, 3) == 0;
    if (!bom)
        in.seek(0);
    std::optional<Pieces> pieces(std::in_place, deliver, size);
    bool notUtf8 = false;
    Decoded decoded = readUtf8(in, *pieces, pieceRead, &notUtf8);
    Format found;
    found.encoding = Encoding::Utf8;
    found.byteOrderMark = bom;
    if (decoded == Decoded::Done && notUtf8) {
        pieces.reset(); // its memory goes before the second reading takes its own
        in.seek(0);
        pieces.emplace(deliver, size);
        decoded = readCp1252(in, *pieces, pieceRead);
        found.encoding = Encoding::Windows1252;
        found.byteOrderMark = false;
    }
    if (decoded != Decoded::Done)
        return decoded;
    const LineBreak last = pieces->lastBreak();
    found.lineBreak = last == LineBreak::None ? platformFormat().lineBreak : last;
    if (format)
        *format = found;
    return Decoded::Done;
}

Decoded decode(QIODevice &in, qint64 size, const PieceRead &pieceRead, TextStore *text, Format *format)
{
    TextStore whole;
    const Decoded decoded = decodeInPieces(in, size, pieceRead, [&whole](TextStore &&piece, bool first) {
        if (first)
            whole = std::move(piece);
        else
            whole.append(std::move(piece));
        return true;
    }, format);
    if (decoded == Decoded::Done)
        *text = std::move(whole);
    return decoded;
}

TextStore decode(QByteArrayView bytes, Format *format)
{
    QByteArray data = bytes.toByteArray();
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    TextStore text;
    decode(buffer, data.size(), PieceRead(), &text, format);
    return text;
}

bool encode(const TextStore &text, const Format &format, LineBreak lastBreak, const Put &put)
{
    Output out(put);
    if (format.encoding == Encoding::Utf8 && format.byteOrderMark && !out.append(Utf8Bom, 3))
        return false;
    // Each piece on its own, so that half a pair is a U+FFFD where it stands
    // (an encoder that kept it for the next piece would write it after the
    // line's break, or never); pieces are cut between pairs, never inside.
    QStringEncoder utf8(QStringEncoder::Utf8, QStringConverter::Flag::Stateless);
    // A CR break right before an LF one would be read back as one CRLF; that
    // LF (only ever of an empty line that edits left behind) goes as CRLF.
    bool afterCR = false;
    auto putRun = [&](QStringView run) {
        afterCR = afterCR && run.isEmpty();
        // In slices, so that a line of any length passes through a megabyte.
        while (!run.isEmpty()) {
            qsizetype length = qMin<qsizetype>(run.size(), PieceSize / 4);
            if (length < run.size() && run[length - 1].isHighSurrogate() && run[length].isLowSurrogate())
                --length;
            const QStringView slice = run.first(length);
            run = run.sliced(length);
            if (format.encoding == Encoding::Utf8) {
                char *at = out.space(utf8.requiredSpace(slice.size()));
                if (!out.commit(utf8.appendToBuffer(at, slice)))
                    return false;
            } else {
                char *at = out.space(slice.size());
                for (const QChar c : slice)
                    *at++ = char(cp1252Byte(c.unicode()));
                if (!out.commit(at))
                    return false;
            }
        }
        return true;
    };
    auto putBreak = [&](LineBreak kind) {
        const char *chars = kind == LineBreak::LF && afterCR ? "\r\n" : lineBreakCharacters(kind);
        afterCR = kind == LineBreak::CR;
        return out.append(chars, qsizetype(std::strlen(chars)));
    };
    // A block at a time (no block ends inside a pair), each cut at its breaks.
    int line = 0;
    bool written = true;
    text.forEachRun(0, text.length(), [&](const TextBlocks::Run &run) {
        QString widened;
        QStringView part = run.utf16 ? QStringView(run.utf16, run.length) : QStringView();
        if (run.latin1) {
            if (format.encoding == Encoding::Utf8 && isAscii(run.latin1, run.length)) {
                // Bytes as they are, but for the breaks.
                for (QByteArrayView bytes(run.latin1, run.length);;) {
                    const qsizetype at = bytes.indexOf('\n');
                    const qsizetype segment = at < 0 ? bytes.size() : at;
                    afterCR = afterCR && segment == 0;
                    if (!out.append(bytes.data(), segment)) {
                        written = false;
                        return false;
                    }
                    if (at < 0)
                        return true;
                    if (!putBreak(text.lineBreak(line++))) {
                        written = false;
                        return false;
                    }
                    bytes = bytes.sliced(at + 1);
                }
            }
            widened = QString::fromLatin1(run.latin1, run.length);
            part = widened;
        }
        for (qsizetype at; (at = part.indexOf(u'\n')) >= 0; part = part.sliced(at + 1)) {
            if (!putRun(part.first(at)) || !putBreak(text.lineBreak(line++))) {
                written = false;
                return false;
            }
        }
        written = putRun(part);
        return written;
    });
    if (!written)
        return false;
    if (!endsWithBreak(text) && !putBreak(lastBreak))
        return false;
    return out.flush();
}

Format savedFormat(const TextStore &text, const Format &format)
{
    Format actual = format;
    if (format.encoding == Encoding::Windows1252 && !fitsCp1252(text)) {
        // A character the legacy code page cannot hold: keep it, in UTF-8.
        actual.encoding = Encoding::Utf8;
        actual.byteOrderMark = false;
    }
    return actual;
}

QByteArray encode(const TextStore &text, const Format &format, Format *used)
{
    const Format actual = savedFormat(text, format);
    QByteArray bytes;
    encode(text, actual, format.lineBreak, [&bytes](const char *data, qint64 size) {
        bytes.append(data, qsizetype(size));
        return true;
    });
    if (used)
        *used = actual;
    return bytes;
}

} // namespace TextCodec
