#pragma once
// Reads the text of an X11 selection (the clipboard, or the primary
// selection) on a connection of its own, waiting a bounded time for the
// program that holds it. Qt's own clipboard waits five seconds a request,
// three requests in a row, and hands back an empty text when the holder never
// answers; here a holder that does not answer is told apart from one that
// holds no text, a transfer in parts (INCR) that goes on for ever is stopped,
// and an answer that is not the text asked for is refused.
//
// It may run on a thread of its own: each reading opens a connection of its
// own and closes it again, so no two threads ever share one.

#include "SelectionTransfer.h"

#include <QString>

namespace X11Selection {

using SelectionTransfer::Control;
using SelectionTransfer::Outcome;

// selection: "CLIPBOARD" or "PRIMARY". quietMs: how long the holder may be
// silent, before its answer and between the parts of one.
Outcome read(const char *selection, int quietMs, QString *text, Control *control = nullptr);

} // namespace X11Selection
