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

}  // namespace korvelt
