#include "prereq/version.h"

#include "base/decimal.h"

namespace korvelt {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ParseVersion(const char* text, int32_t fill, VersionNumber* version) {
  *version = VersionNumber();
  if (!text) return false;
  const char* at = text;
  while (*at && !IsDigit(*at)) ++at;
  if (!*at) return false;
  int k = 0;
  for (;;) {
    int32_t part = 0;
    for (; IsDigit(*at); ++at) {
      int32_t digit = *at - '0';
      part = part > (0x7FFFFFFF - digit) / 10 ? 0x7FFFFFFF : part * 10 + digit;
    }
    version->parts[k] = part;
    while (*at && !IsDigit(*at)) ++at;
    if (!*at) break;
    if (++k == 4) break;
  }
  version->count = k + 1;
  for (int i = version->count; i < 4; ++i) version->parts[i] = fill;
  return true;
}

int CompareVersions(const VersionNumber& a, const VersionNumber& b) {
  for (int k = 0; k < 4; ++k) {
    if (a.parts[k] < b.parts[k]) return -1;
    if (a.parts[k] > b.parts[k]) return 1;
  }
  return 0;
}

bool IsZeroVersion(const VersionNumber& version) {
  return version.parts[0] == 0 && version.parts[1] == 0 && version.parts[2] == 0 && version.parts[3] == 0;
}

uint32_t ReadFileVersion(VersionReader& reader, const char* path, uint32_t* mostSignificant,
                         uint32_t* leastSignificant) {
  return reader.ReadFileVersion(path, mostSignificant, leastSignificant);
}

bool FormatFileVersion(uint32_t mostSignificant, uint32_t leastSignificant, String* text) {
  char buffer[24];
  char* out = buffer;
  const unsigned parts[4] = {mostSignificant >> 16, mostSignificant & 0xFFFF, leastSignificant >> 16,
                             leastSignificant & 0xFFFF};
  for (int i = 0; i < 4; ++i) {
    if (i) *out++ = '.';
    out = WriteDecimal(out, parts[i]);
  }
  return text->Assign(buffer, static_cast<size_t>(out - buffer));
}

}  // namespace korvelt
