#pragma once
// Reading a file into the note without stopping the note: the file is read
// and decoded on a thread of its own, and its text handed to the note in
// pieces as it comes, the first as soon as a window's worth has come. The
// note takes input all along (what has come scrolls); past half a second a
// progress window shows beside it, and its Cancel stops the reading.
// Whatever needs the whole text waits for it with waitUntilRead(). Neither
// Cancel nor the end of the program waits for the thread: a read blocked in
// the system (a stalled network mount, a device that never answers) is left
// to end on its own.

#include "TextFile.h"

#include <functional>

class QWidget;

namespace ReadWithProgress {

// Told on the UI thread of the text as it comes, and of the end.
struct Receiver
{
    // Each piece in turn; first: it begins the text (again, where the file
    // turns out not to be UTF-8 and is read a second time).
    std::function<void(TextStore &&piece, bool first)> piece;
    // The reading is over; result says how (its text is empty: the text came
    // in pieces). Told before anything that waited for the end goes on.
    std::function<void(const TextFile::ReadResult &result)> ended;
};

// Reads the file, handing its text to receiver; returns once the reading is
// over, with what ended() was told.
TextFile::ReadResult read(QWidget *parent, const QString &path, const Receiver &receiver);

// From inside read() (from an event handler): waits until the reading is
// over, keys and clicks held meanwhile (the progress window takes them once
// it shows). True where the whole text came, or where nothing is being read.
bool waitUntilRead();

// Tests slow the reading down to see the dialog: a pause after each piece.
void setPauseForTesting(int milliseconds);
// Tests put a reading of their own in place of reading the file (one that
// blocks, say); an empty one puts TextFile::read back.
using Reader = std::function<TextFile::ReadResult(const QString &path, TextFile::ReadControl *control,
                                                  const TextCodec::Deliver &deliver)>;
void setReaderForTesting(Reader reader);

} // namespace ReadWithProgress
