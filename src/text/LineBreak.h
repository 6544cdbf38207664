#pragma once
// The line break a line ends with. A break counts as one character of the
// text, whichever bytes it was written with.

#include <QtGlobal>

enum class LineBreak : quint8 {
    None = 0, // the last line has none
    LF = 1,
    CRLF = 2,
    CR = 3,
};

// The characters a break is written with.
inline const char *lineBreakCharacters(LineBreak lineBreak)
{
    switch (lineBreak) {
    case LineBreak::LF: return "\n";
    case LineBreak::CRLF: return "\r\n";
    case LineBreak::CR: return "\r";
    case LineBreak::None: break;
    }
    return "";
}
