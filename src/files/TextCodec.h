#pragma once
// How the note's text is written as bytes and read back from them.
//
// Bytes that form valid UTF-8 throughout are UTF-8 (a leading byte-order
// mark is remembered, not shown); anything else is read byte for byte as
// Windows-1252, so that every byte value stands for exactly one character
// and nothing is lost. Each line keeps the break it was written with, so
// that a text is written back exactly as it came.

#include "text/LineBreak.h"
#include "text/TextStore.h"

#include <QByteArray>
#include <functional>

class QIODevice;

namespace TextCodec {

enum class Encoding { Utf8, Windows1252 };

struct Format
{
    Encoding encoding = Encoding::Utf8;
    bool byteOrderMark = false;
    // The text's own line end: the one typed breaks take and the one a save
    // adds where the text does not end with a break.
    LineBreak lineBreak = LineBreak::LF;
    friend bool operator==(const Format &, const Format &) = default;
};

// The format of text that came from no file: the clipboard or typing.
Format platformFormat();
// The format of a text taken from the clipboard: UTF-8, and its own line end
// (the one its last break is written with), or the system's where it has
// no break.
Format clipboardFormat(const TextStore &text);

// Bytes are read, and encoded bytes handed on, a piece of about this size at a time.
inline constexpr qint64 PieceSize = 1 << 20;

// Told after each piece read how many bytes this pass has read so far (a
// second pass, as Windows-1252, starts again from 0); false stops the reading.
using PieceRead = std::function<bool(qint64 bytesSoFar)>;

enum class Decoded { Done, Stopped, Failed };

// Decodes all of in, which holds about size bytes: on Done, the text and the
// format it was found in; on Failed, in's errorString() says why.
Decoded decode(QIODevice &in, qint64 size, const PieceRead &pieceRead, TextStore *text, Format *format);

// The text decoded, handed on as it comes: a first piece as soon as a
// window's worth has come (FirstTextPiece characters), then pieces of about
// TextPiece characters, each to follow the one before (TextStore::append);
// never one that ends between a CR and its LF. first: the piece begins the
// text (a second pass, as Windows-1252, begins it again). False stops the
// reading.
using Deliver = std::function<bool(TextStore &&piece, bool first)>;
inline constexpr qsizetype FirstTextPiece = qsizetype(64) << 10;
inline constexpr qsizetype TextPiece = qsizetype(8) << 20;
// As decode(), the text handed on in pieces rather than kept.
Decoded decodeInPieces(QIODevice &in, qint64 size, const PieceRead &pieceRead, const Deliver &deliver,
                       Format *format);
// The same for bytes already in memory.
TextStore decode(QByteArrayView bytes, Format *format);

// The format a text is written in: its own, but UTF-8 where the legacy code
// page cannot hold one of its characters.
Format savedFormat(const TextStore &text, const Format &format);

// Where encoded bytes go, a piece at a time; false stops the encoding.
using Put = std::function<bool(const char *data, qint64 size)>;

// The bytes of text in format (as savedFormat() gives it): each line with its
// own break, and `lastBreak` after the last line where the text does not end
// with a break. Handed on a piece at a time, so that a text of any size
// needs only a megabyte or two for its bytes.
bool encode(const TextStore &text, const Format &format, LineBreak lastBreak, const Put &put);
// All of them at once, in savedFormat(text, format), which *used tells.
QByteArray encode(const TextStore &text, const Format &format, Format *used = nullptr);

} // namespace TextCodec
