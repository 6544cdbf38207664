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

Decoded readUtf8(QIODevice &in, TextBuilder &builder, const PieceRead &pieceRead, bool *notUtf8)
{
    QByteArray chunk(PieceSize + 4, Qt::Uninitialized);
    qsizetype carried = 0;
    qint64 done = 0;
    // Each piece ends on a whole sequence, so it decodes on its own; a mark
    // at the start of a piece is a character, not a mark.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    for (;;) {
        const qint64 n = in.read(chunk.data() + carried, PieceSize);
        if (n < 0)
            return Decoded::Failed;
        const qsizetype have = carried + qsizetype(n);
        const qsizetype whole = n == 0 ? have : wholeSequences(chunk.constData(), have);
        if (whole > 0) {
            auto *out = reinterpret_cast<QChar *>(builder.appendSpace(whole));
            const QChar *end = utf8.appendToBuffer(out, QByteArrayView(chunk.constData(), whole));
            if (utf8.hasError()) {
                *notUtf8 = true;
                return Decoded::Done;
            }
            builder.commit(end - out);
        }
        carried = have - whole;
        std::memmove(chunk.data(), chunk.constData() + whole, size_t(carried));
        done += n;
        if (pieceRead && !pieceRead(done))
            return Decoded::Stopped;
        if (n == 0)
            return Decoded::Done;
    }
}

Decoded readCp1252(QIODevice &in, TextBuilder &builder, const PieceRead &pieceRead)
{
    QByteArray chunk(PieceSize, Qt::Uninitialized);
    qint64 done = 0;
    for (;;) {
        const qint64 n = in.read(chunk.data(), PieceSize);
        if (n < 0)
            return Decoded::Failed;
        if (n == 0)
            return Decoded::Done;
        char16_t *out = builder.appendSpace(n);
        for (qint64 i = 0; i < n; ++i) {
            const auto b = uchar(chunk[i]);
            out[i] = (b >= 0x80 && b < 0xA0) ? Cp1252High[b - 0x80] : char16_t(b);
        }
        builder.commit(n);
        done += n;
        if (pieceRead && !pieceRead(done))
            return Decoded::Stopped;
    }
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
    for (const QStringView part : {text.firstPart(), text.secondPart()}) {
        for (const QChar c : part) {
            if (c.unicode() != u'\n' && cp1252Byte(c.unicode()) < 0)
                return false;
        }
    }
    return true;
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

Decoded decode(QIODevice &in, qint64 size, const PieceRead &pieceRead, TextStore *text, Format *format)
{
    char head[3] = {};
    const bool bom = in.read(head, 3) == 3 && std::memcmp(head, Utf8Bom, 3) == 0;
    if (!bom)
        in.seek(0);
    std::optional<TextBuilder> builder(std::in_place, size);
    bool notUtf8 = false;
    Decoded decoded = readUtf8(in, *builder, pieceRead, &notUtf8);
    Format found;
    found.encoding = Encoding::Utf8;
    found.byteOrderMark = bom;
    if (decoded == Decoded::Done && notUtf8) {
        builder.reset(); // its memory goes before the second reading takes its own
        in.seek(0);
        builder.emplace(size);
        decoded = readCp1252(in, *builder, pieceRead);
        found.encoding = Encoding::Windows1252;
        found.byteOrderMark = false;
    }
    if (decoded != Decoded::Done)
        return decoded;
    *text = builder->take();
    const LineBreak last = text->lastBreak();
    found.lineBreak = last == LineBreak::None ? platformFormat().lineBreak : last;
    if (format)
        *format = found;
    return Decoded::Done;
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
    // A pair the store's gap parts goes as one piece of its own.
    QStringView first = text.firstPart();
    QStringView second = text.secondPart();
    char16_t pair[2] = {};
    QStringView bridge;
    if (!first.isEmpty() && !second.isEmpty() && first.back().isHighSurrogate() && second.front().isLowSurrogate()) {
        pair[0] = first.back().unicode();
        pair[1] = second.front().unicode();
        bridge = QStringView(pair, 2);
        first.chop(1);
        second = second.sliced(1);
    }
    int line = 0;
    for (QStringView part : {first, bridge, second}) {
        for (qsizetype at; (at = part.indexOf(u'\n')) >= 0; part = part.sliced(at + 1)) {
            if (!putRun(part.first(at)) || !putBreak(text.lineBreak(line++)))
                return false;
        }
        if (!putRun(part))
            return false;
    }
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
