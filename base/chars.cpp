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

}  // namespace korvelt
