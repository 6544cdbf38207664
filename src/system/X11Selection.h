#pragma once
// Reads the text of an X11 selection (the clipboard, or the primary
// selection) on a connection of its own, waiting a bounded time for the
// program that holds it. Qt's own clipboard waits five seconds a request,
// three requests in a row, and hands back an empty text when the holder never
// answers; here a holder that does not answer is told apart from one that
// holds no text, a transfer in parts (INCR) that goes on for ever is stopped,
// and an answer that is not the text asked for is refused.
//
// It may run on a thread of its own: it uses nothing but its connection.

#include <QString>
#include <atomic>

namespace X11Selection {

enum class Outcome {
    Text,        // the text was read
    NoText,      // nobody holds the selection, or it holds no text
    NoAnswer,    // its holder went quiet for longer than the wait
    NotText,     // its holder answered with something other than the text asked for
    TooLarge,    // the transfer went past the limit
    Cancelled,   // cancel was set
    Unavailable, // no X11 display could be reached
};

// Shared with whoever waits for the reading.
struct Control
{
    std::atomic<bool> cancel{false};
    std::atomic<qint64> received{0}; // bytes so far
    std::atomic<qint64> expected{0}; // bytes announced, where the holder said
    qint64 limit = -1;               // most bytes taken; -1 for no limit
};

// selection: "CLIPBOARD" or "PRIMARY". quietMs: how long the holder may be
// silent, before its answer and between the parts of one.
Outcome read(const char *selection, int quietMs, QString *text, Control *control = nullptr);

} // namespace X11Selection
