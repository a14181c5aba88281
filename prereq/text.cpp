#include "prereq/text.h"

namespace korvelt {

size_t FindCharacter(const char* text, size_t from, char c, LeadByteTest isLead) {
  // `from` is always a character boundary that an earlier search returned.
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

}  // namespace korvelt
