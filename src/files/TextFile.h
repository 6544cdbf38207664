#pragma once
// Reading and writing the note's text files.
//
// A file is read whole and decoded: bytes that form valid UTF-8 as UTF-8 (a
// leading byte-order mark is remembered, not shown), anything else byte for
// byte as Windows-1252, so that every byte value stands for exactly one
// character and nothing is lost. Each line keeps the break it was written
// with, so a save writes the text back exactly as it came.

#include "text/LineBreak.h"
#include "text/TextStore.h"

#include <QByteArray>
#include <QString>
#include <atomic>

namespace TextFile {

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

// Progress of a read, and the way to stop it; shared with the reading thread.
struct ReadControl
{
    std::atomic<qint64> bytesDone{0};
    std::atomic<qint64> bytesTotal{0};
    std::atomic<bool> cancel{false};
    int pauseMs = 0; // after each piece; tests slow reading down with it
};

struct ReadResult
{
    bool ok = false;
    bool cancelled = false;
    TextStore text;
    Format format;
    QString error; // why the file could not be read
};

// Reads a regular file whole. Anything else (a FIFO, a device, a folder) is
// refused at once, as is a file too large to hold; nothing is allocated for
// it first.
ReadResult read(const QString &path, ReadControl *control = nullptr);

// The largest file read, in bytes; a test may set a smaller one (0: no limit
// but the system's).
void setSizeLimit(qint64 bytes);

// What the user is told when a file cannot be read or written: the file, then why.
QString readFailureMessage(const QString &path, const QString &reason);
QString writeFailureMessage(const QString &path, const QString &reason);

// Decoding on its own, for bytes already in memory.
TextStore decode(QByteArrayView bytes, Format *format);
// The bytes a save writes: each line with its own break, and the format's
// line end after the last line where the text does not end with a break.
// Where the format's encoding cannot hold every character, UTF-8 is used
// instead and *used says so.
QByteArray encode(const TextStore &text, const Format &format, Format *used = nullptr);

// Replaces the file's content with the text, encoded as encode() does it,
// all or nothing: a failed save leaves an existing file exactly as it was.
// The text is encoded and written a piece at a time, so a save of any size
// needs only a few megabytes beside the text. A file with one name is
// replaced in one step by a new one written beside it (".NAME.quillpad-save")
// with its mode, owner and group; a file with more names (hard links) is
// written in place, once the new text and the old are safely beside it
// (".NAME.quillpad-save", ".NAME.quillpad-old"), so that the old text can be
// put back if writing fails. Those files go when the save is done; a save
// cut short leaves them, and the next save of the file removes them. A
// failure says the system's own reason.
bool save(const QString &path, const TextStore &text, const Format &format, Format *used, QString *error);
// The same for bytes already encoded.
bool write(const QString &path, const QByteArray &bytes, QString *error);

} // namespace TextFile
