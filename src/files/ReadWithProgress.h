#pragma once
// Reading a file for the note without stopping the note: the file is read and
// decoded on a thread of its own while the window keeps painting. Past half a
// second a progress dialog shows, and its Cancel stops the reading; the
// note's own windows take no input meanwhile. Neither Cancel nor the end of
// the program waits for the thread: a read blocked in the system (a stalled
// network mount, a device that never answers) is left to end on its own.

#include "TextFile.h"

#include <functional>

class QWidget;

namespace ReadWithProgress {

TextFile::ReadResult read(QWidget *parent, const QString &path);

// Tests slow the reading down to see the dialog: a pause after each piece.
void setPauseForTesting(int milliseconds);
// Tests put a reading of their own in place of reading the file (one that
// blocks, say); an empty one puts TextFile::read back.
using Reader = std::function<TextFile::ReadResult(const QString &path, TextFile::ReadControl *control)>;
void setReaderForTesting(Reader reader);

} // namespace ReadWithProgress
