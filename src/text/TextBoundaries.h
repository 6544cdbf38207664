#pragma once
// Where the caret may stand, what a word is and where a line ends: the
// boundaries every part of the engine asks for (keys, the mouse, deleting,
// laying long lines out in pieces, screen readers), read from the store.
//
// A character is what the user sees as one: a grapheme cluster (a letter
// with its marks, a surrogate pair, a conjunct, an emoji sequence, a flag);
// a line break is one character whatever it is written with, and no place
// between the two halves of a surrogate pair is ever a boundary.
//
// Words follow one rule everywhere: the text is cut where Unicode's word
// boundaries fall, and a piece that begins with a letter, a digit, a mark or
// a connector such as "_" is a word. So "don't" and "foo_bar" are one word
// each, a run of blanks is a piece of its own, and each punctuation mark or
// emoji is one. Thai, Lao, Khmer, Burmese and CJK text is cut into words by
// dictionary.
//
// The boundaries are ICU's (the reference implementation of Unicode's text
// segmentation), found over the whole line: ICU reads the line where it
// lies in the store, a run at a time, without a copy. What it found is kept
// while the store and the line are the same, so moving through a long line
// costs little more than moving through a short one.

#include "TextStore.h"

#include <utility>

namespace TextBoundaries {

// The nearest place at or before (at or after) position that is not between
// the two halves of a character written as a surrogate pair.
int codePointStart(const TextStore &store, int position);
int codePointEnd(const TextStore &store, int position);

// Whether the caret may stand at position: where a character begins (or the
// text ends).
bool isCharacterStart(const TextStore &store, int position);

// The next and previous places the caret may stand.
int nextCharacter(const TextStore &store, int position);
int previousCharacter(const TextStore &store, int position);

// The start of the next word after position in its line, else the line's
// end; from the end of a line, the start of the next line.
int nextWordStart(const TextStore &store, int position);
// The start of the word before position in its line, else the line's start;
// from the start of a line, the end of the line before.
int previousWordStart(const TextStore &store, int position);

// Whether a word, a run of blanks or a mark may begin or end at position
// (a line's start and end are such places).
bool isWordBoundary(const TextStore &store, int position);

// The piece of the line at position (a word, a run of blanks, a mark): what a
// double-click selects. At the end of a line, the piece before it.
std::pair<int, int> wordAt(const TextStore &store, int position);

// The line at position, with its break.
std::pair<int, int> lineAt(const TextStore &store, int position);

// Whether the word rule counts a piece starting with this character as a word.
bool startsWord(char32_t c);

} // namespace TextBoundaries
