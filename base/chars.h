// Stepping through ANSI text one whole character at a time, so that a
// double-byte character of the code page is never split.
#pragma once

#include <stddef.h>

namespace korvelt {

// Tells whether a byte opens a double-byte character in the code page.
using LeadByteTest = bool (*)(unsigned char byte);

// The code page of the native build and of most systems: no lead bytes.
bool NoLeadBytes(unsigned char byte);

// The character after the one at `text`; `text` itself at the terminator.
// A lead byte followed by the terminator counts as one character.
const char* NextChar(const char* text, LeadByteTest isLead);

// The first occurrence of `needle` in `text` that starts on a character
// boundary, or nullptr. Exact and case-sensitive.
const char* FindText(const char* text, const char* needle, LeadByteTest isLead);

constexpr size_t kNoPosition = static_cast<size_t>(-1);

// Offset of the first character `c` at or after `from`, or kNoPosition.
// `from` must be a character boundary.
size_t FindCharacter(const char* text, size_t from, char c, LeadByteTest isLead);
// Offset of the last character `c`, or kNoPosition: with a backslash, the
// last separator of a path (a trail byte that looks like one does not count).
size_t FindLastCharacter(const char* text, char c, LeadByteTest isLead);

// True when the last whole character of the `length` bytes at `text` is a
// backslash (a trail byte that looks like one does not count).
bool EndsWithBackslash(const char* text, size_t length, LeadByteTest isLead);

// The length of `text` without its last `count` whole characters; 0 when it
// has no more than that.
size_t LengthWithoutLast(const char* text, size_t count, LeadByteTest isLead);

}  // namespace korvelt
