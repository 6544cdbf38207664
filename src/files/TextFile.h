#pragma once
// Reading and writing the note's text files.
//
// A file is read whole and decoded: bytes that form valid UTF-8 as UTF-8 (a
// leading byte-order mark is remembered, not shown), anything else byte for
// byte as Windows-1252, so that every byte value stands for exactly one
// character and nothing is lost. The line-break style is noted, so a save can
// write the text back the way it came.

#include <QByteArray>
#include <QString>

namespace TextFile {

enum class Encoding { Utf8, Windows1252 };
enum class LineBreak { CRLF, LF, CR };

struct Format
{
    Encoding encoding = Encoding::Utf8;
    bool byteOrderMark = false;
    LineBreak lineBreak = LineBreak::LF;
    friend bool operator==(const Format &, const Format &) = default;
};

// The format of text that came from no file: the clipboard or typing.
Format platformFormat();

struct ReadResult
{
    bool ok = false;
    QString text;  // line breaks exactly as in the file
    Format format;
    QString error; // why the file could not be read
};

ReadResult read(const QString &path);

// What the user is told when a file cannot be read or written: the file, then why.
QString readFailureMessage(const QString &path, const QString &reason);
QString writeFailureMessage(const QString &path, const QString &reason);

// Decoding and encoding on their own, for data already in memory.
QString decode(const QByteArray &bytes, Format *format);
// text has "\n" line breaks; each becomes the format's line break. Where the
// format's encoding cannot hold every character, UTF-8 is used instead and
// *used says so.
QByteArray encode(QStringView text, const Format &format, Format *used = nullptr);

QByteArray lineBreakBytes(LineBreak lineBreak);

// Replaces the file's content with bytes, all or nothing: a failed write
// leaves an existing file exactly as it was.
bool write(const QString &path, const QByteArray &bytes, QString *error);

} // namespace TextFile
