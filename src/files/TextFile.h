#pragma once
// Reading and writing the note's text files: what may be read (a regular
// file of a size that fits in the memory there is), decoded as TextCodec
// says; and what a save writes, all or nothing (SafeSave).

#include "TextCodec.h"

#include <QString>
#include <atomic>

namespace TextFile {

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
    TextCodec::Format format;
    QString error; // why the file could not be read
};

// Reads a regular file whole. Anything else (a FIFO, a device, a folder) is
// refused at once, as is a file too large to hold; nothing is allocated for
// it first.
ReadResult read(const QString &path, ReadControl *control = nullptr);
// The same, the text handed on to deliver as it is decoded (on the reading
// thread), result.text left empty.
ReadResult read(const QString &path, ReadControl *control, const TextCodec::Deliver &deliver);

// The largest file read, in bytes; a test may set a smaller one (0: no limit
// but the system's).
void setSizeLimit(qint64 bytes);

// What the user is told when a file cannot be read or written: the file, then why.
QString readFailureMessage(const QString &path, const QString &reason);
QString writeFailureMessage(const QString &path, const QString &reason);

// Replaces the file's content with the text, encoded a piece at a time in
// TextCodec::savedFormat(text, format) (which *used tells), all or nothing
// (SafeSave): a failed save leaves an existing file exactly as it was, and
// says the system's own reason.
bool save(const QString &path, const TextStore &text, const TextCodec::Format &format,
          TextCodec::Format *used, QString *error);
// The same for bytes already encoded.
bool write(const QString &path, const QByteArray &bytes, QString *error);

} // namespace TextFile
