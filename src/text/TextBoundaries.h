#pragma once
// Where the caret may stand, what a word is and where a line ends: the
// boundaries every part of the engine asks for (keys, the mouse, deleting,
// screen readers), read from the store.
//
// A character is what the user sees as one: a grapheme cluster (a letter
// with its marks, a surrogate pair, an emoji sequence, a flag); a line break
// is one character whatever it is written with.
//
// Words follow one rule everywhere: the text is cut where Unicode's word
// boundaries fall (as QTextBoundaryFinder finds them), and a piece that
// begins with a letter, a digit, a mark or a connector such as "_" is a word.
// So "don't" and "foo_bar" are one word each, a run of blanks is a piece of
// its own, and each punctuation mark or emoji is one.
//
// The store is read in a window around the position, not a whole line. The
// window ends where neither rule can look across (between two plain ASCII
// characters, or a blank and what follows it), so the answer is always the
// one a finder run over the whole line would give.

#include "TextStore.h"

#include <utility>

namespace TextBoundaries {

// How far a window first reaches past the position asked about.
inline constexpr int Reach = 256;

// The nearest place at or before (at or after) position that is not between
// the two halves of a character written as a surrogate pair.
int codePointStart(const TextStore &store, int position);
int codePointEnd(const TextStore &store, int position);

// The next and previous places the caret may stand.
int nextCharacter(const TextStore &store, int position);
int previousCharacter(const TextStore &store, int position);

// The start of the next word after position in its line, else the line's
// end; from the end of a line, the start of the next line.
int nextWordStart(const TextStore &store, int position);
// The start of the word before position in its line, else the line's start;
// from the start of a line, the end of the line before.
int previousWordStart(const TextStore &store, int position);

// The piece of the line at position (a word, a run of blanks, a mark): what a
// double-click selects. At the end of a line, the piece before it.
std::pair<int, int> wordAt(const TextStore &store, int position);

// The line at position, with its break.
std::pair<int, int> lineAt(const TextStore &store, int position);

// Whether the word rule counts a piece starting with this character as a word.
bool startsWord(char32_t c);

} // namespace TextBoundaries
