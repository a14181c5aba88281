#include "base/chars.h"

#include <string.h>

namespace korvelt {

bool NoLeadBytes(unsigned char) { return false; }

const char* NextChar(const char* text, LeadByteTest isLead) {
  if (*text == '\0') return text;
  if (isLead(static_cast<unsigned char>(*text)) && text[1] != '\0') return text + 2;
  return text + 1;
}

const char* FindText(const char* text, const char* needle, LeadByteTest isLead) {
  size_t length = strlen(needle);
  for (const char* at = text;; at = NextChar(at, isLead)) {
    if (strncmp(at, needle, length) == 0) return at;
    if (*at == '\0') return nullptr;
  }
}

size_t FindCharacter(const char* text, size_t from, char c, LeadByteTest isLead) {
  for (const char* at = text + from; *at; at = NextChar(at, isLead)) {
    if (*at == c) return static_cast<size_t>(at - text);
  }
  return kNoPosition;
}

size_t FindLastCharacter(const char* text, char c, LeadByteTest isLead) {
  size_t found = kNoPosition;
  for (const char* at = text; *at; at = NextChar(at, isLead)) {
    if (*at == c) found = static_cast<size_t>(at - text);
  }
  return found;
}

bool EndsWithBackslash(const char* text, size_t length, LeadByteTest isLead) {
  return length > 0 && FindLastCharacter(text, '\\', isLead) == length - 1;
}

size_t LengthWithoutLast(const char* text, size_t count, LeadByteTest isLead) {
  size_t characters = 0;
  for (const char* at = text; *at; at = NextChar(at, isLead)) ++characters;
  if (characters <= count) return 0;
  const char* at = text;
  for (size_t kept = characters - count; kept > 0; --kept) at = NextChar(at, isLead);
  return static_cast<size_t>(at - text);
}

}  // namespace korvelt
