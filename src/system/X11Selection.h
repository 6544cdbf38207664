#pragma once
// Reads the text of an X11 selection (the clipboard, or the primary
// selection) on a connection of its own, waiting a bounded time for the
// program that holds it. Qt's own clipboard waits five seconds a request,
// three requests in a row, and hands back an empty text when the holder never
// answers; here a holder that does not answer is told apart from one that
// holds no text.

#include <QString>

namespace X11Selection {

enum class Outcome {
    Text,      // the text was read
    NoText,    // nobody holds the selection, or it holds no text
    NoAnswer,  // its holder did not answer in time
    Unavailable, // no X11 display could be reached
};

// selection: "CLIPBOARD" or "PRIMARY".
Outcome read(const char *selection, int timeoutMs, QString *text);

} // namespace X11Selection
