#pragma once
// Reading a file for the note without stopping the note: the file is read and
// decoded on a thread of its own while the window keeps painting. Past half a
// second a progress dialog shows, and its Cancel stops the reading; the
// note's own windows take no input meanwhile.

#include "TextFile.h"

class QWidget;

namespace ReadWithProgress {

TextFile::ReadResult read(QWidget *parent, const QString &path);

// Tests slow the reading down to see the dialog: a pause after each piece.
void setPauseForTesting(int milliseconds);

} // namespace ReadWithProgress
