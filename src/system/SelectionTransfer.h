#pragma once
// What the clipboard's readers share: how a transfer from the program that
// holds a selection ends, how it is watched and stopped while it runs on a
// thread of its own, and reading the text from a pipe, as Wayland hands it
// over. Nothing here waits without a bound: a holder may go quiet for
// quietMs at most, before its answer and between the parts of it.

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>

namespace SelectionTransfer {

// How long a holder may be silent, before its answer and between its parts.
inline constexpr int QuietMs = 2000;

enum class Outcome {
    Text,        // the text was read
    NoText,      // nobody holds the selection, or it holds no text
    NoAnswer,    // its holder went quiet for longer than the wait
    NotText,     // its holder answered with something other than the text asked for
    TooLarge,    // the transfer went past the limit, or its text would not fit in memory
    Cancelled,   // cancel was set
    Unavailable, // the display could not be reached
    NotFocused,  // only a window with the keyboard focus may read, and the note has none
};

// Shared with whoever waits for the transfer.
struct Control
{
    std::atomic<bool> cancel{false};
    std::atomic<qint64> received{0}; // bytes so far
    std::atomic<qint64> expected{0}; // bytes announced, where the holder said
    qint64 limit = -1;               // most bytes taken; -1 for no limit
};

// Whether total bytes may be taken (and tells control how far it has come).
bool withinLimit(Control *control, qint64 total);

// Reads fd to its end into *bytes; the holder may be silent for quietMs at
// a time. Text (what came, perhaps nothing), NoAnswer, TooLarge or Cancelled.
Outcome readPipe(int fd, int quietMs, Control *control, QByteArray *bytes);

// How many bytes of memory a text taken may need per byte transferred: the
// bytes themselves, the text they become (two bytes a character), the
// note's own copy of it and what building that copy takes.
inline constexpr int MemoryPerByte = 8;
// The share of the memory available that a text taken may need: a desktop
// runs other programs too, and a holder that never stops sending would
// otherwise take it all.
inline constexpr int MemoryShare = 4;

// The text of bytes in UTF-8 (or, where latin1, ISO 8859-1); TooLarge where
// memory runs out on the way.
Outcome decode(const QByteArray &bytes, bool latin1, QString *text);

// A pipe's reading end, closed by whoever is done with it last: the thread
// that reads it may outlive the call that asked for it.
using SharedPipe = std::shared_ptr<const int>;
SharedPipe sharePipe(int fd);

// The text a holder writes to fd, read to its end (readPipe) and decoded.
Outcome readText(int fd, bool latin1, Control *control, QString *text);

} // namespace SelectionTransfer
