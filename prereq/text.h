// Character searches over ANSI text that step whole characters, so that a
// trail byte of a double-byte character is never taken for "\", "[" or "?".
#pragma once

#include <stddef.h>

#include "base/chars.h"

namespace korvelt {

// Offset of the first character `c` at or after `from`, or -1 (as size_t).
size_t FindCharacter(const char* text, size_t from, char c, LeadByteTest isLead);
// Offset of the last character `c`, or -1 (as size_t).
size_t FindLastCharacter(const char* text, char c, LeadByteTest isLead);

// True when the last whole character of `text` is a backslash (a trail
// byte that looks like one does not count).
bool EndsWithBackslash(const char* text, size_t length, LeadByteTest isLead);

constexpr size_t kNoPosition = static_cast<size_t>(-1);

}  // namespace korvelt
