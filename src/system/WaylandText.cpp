#include "WaylandText.h"

#include "ClipboardReader.h"

#include <fcntl.h>
#include <unistd.h>

namespace WaylandText {

namespace {

constexpr Type TextTypes[] = {
    {"text/plain;charset=utf-8", false}, {"UTF8_STRING", false}, {"text/plain", false},
    {"STRING", true}, {"TEXT", false},
};

} // namespace

Type best(const QByteArrayList &types)
{
    for (const Type &type : TextTypes) {
        if (types.contains(QByteArray(type.name)))
            return type;
    }
    return {};
}

Request ask(const QByteArrayList &types, const std::function<void(const char *type, int fd)> &send)
{
    Request asked;
    asked.type = best(types);
    int ends[2];
    if (!asked.type.name || ::pipe2(ends, O_CLOEXEC) != 0)
        return asked;
    send(asked.type.name, ends[1]);
    ::close(ends[1]); // the holder has its own copy now
    asked.fd = ends[0];
    return asked;
}

SelectionTransfer::Outcome readAnswer(const Request &asked, QString *text)
{
    if (asked.fd < 0) {
        text->clear();
        return SelectionTransfer::Outcome::NoText;
    }
    const SelectionTransfer::SharedPipe pipe = SelectionTransfer::sharePipe(asked.fd);
    const bool latin1 = asked.type.latin1;
    return sys::readWithProgress([pipe, latin1](SelectionTransfer::Control &control, QString *taken) {
        return SelectionTransfer::readText(*pipe, latin1, &control, taken);
    }, text);
}

} // namespace WaylandText
