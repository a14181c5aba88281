#include "app/single_run.h"

#include <stdint.h>

namespace korvelt {

void SingleRunName(const char* exePath, LeadByteTest isLead, char (&name)[kSingleRunNameSize]) {
  // FNV-1a over the folded bytes: a name is all this needs, not secrecy.
  uint64_t hash = 14695981039346656037u;
  bool trail = false;
  for (const char* at = exePath; *at; ++at) {
    unsigned char byte = static_cast<unsigned char>(*at);
    if (!trail && byte >= 'A' && byte <= 'Z') byte = static_cast<unsigned char>(byte - 'A' + 'a');
    trail = !trail && isLead(byte);
    hash = (hash ^ byte) * 1099511628211u;
  }
  static const char kPrefix[] = "Local\\Korvelt.Setup.";
  int at = 0;
  for (; kPrefix[at]; ++at) name[at] = kPrefix[at];
  for (int shift = 60; shift >= 0; shift -= 4) name[at++] = "0123456789abcdef"[hash >> shift & 0xF];
  name[at] = '\0';
}

}  // namespace korvelt
