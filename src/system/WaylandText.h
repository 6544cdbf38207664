#pragma once
// The kinds of text a Wayland clipboard holder may offer, best first, and
// asking it for one: what the program's own data device and its data
// control reader share.

#include "SelectionTransfer.h"

#include <QByteArrayList>

#include <functional>

namespace WaylandText {

struct Type
{
    const char *name = nullptr; // null: nothing offered is text
    bool latin1 = false;        // ISO 8859-1 rather than UTF-8
};

// The best kind of text among the types offered.
Type best(const QByteArrayList &types);

// Where the holder writes the text to: the pipe's reading end (the caller
// reads and closes it), or -1 where nothing is offered as text or no pipe
// could be made.
struct Request
{
    int fd = -1;
    Type type;
};

// Makes a pipe and hands its writing end to send, which asks the holder
// through the compositor; the program's copy of that end is closed after.
Request ask(const QByteArrayList &types, const std::function<void(const char *type, int fd)> &send);

// The text the holder writes to the pipe asked for, read on a thread with
// progress; NoText (and no text) where nothing was offered as text.
SelectionTransfer::Outcome readAnswer(const Request &asked, QString *text);

} // namespace WaylandText
