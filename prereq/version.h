// Version numbers: four parts read out of any text, compared in order, and
// the text of a file's fixed file version.
#pragma once

#include <stdint.h>

#include "base/string.h"
#include "platform/version_info.h"

namespace korvelt {

struct VersionNumber {
  int32_t parts[4] = {0, 0, 0, 0};  // major, minor, build, revision
  int32_t count = 0;                 // numbers the text held: 0 to 4, 5 for more than four
};

// Reads the first four runs of digits of `text`; any other characters
// separate them. Parts the text does not reach are `fill`. A run beyond
// 2147483647 is held at 2147483647. False, with the zero version and count
// 0, when the text holds no digit.
bool ParseVersion(const char* text, int32_t fill, VersionNumber* version);

// -1, 0 or +1 as `a` is below, equal to or above `b`, part by part.
int CompareVersions(const VersionNumber& a, const VersionNumber& b);

// True when all four parts are 0: the version that stands for none.
bool IsZeroVersion(const VersionNumber& version);

// Reads the fixed file version of `path`; see VersionReader.
uint32_t ReadFileVersion(VersionReader& reader, const char* path, uint32_t* mostSignificant,
                         uint32_t* leastSignificant);

// The text "a.b.c.d" of the four 16-bit parts of the two halves.
bool FormatFileVersion(uint32_t mostSignificant, uint32_t leastSignificant, String* text);

}  // namespace korvelt
