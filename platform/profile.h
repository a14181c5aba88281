// The profile (INI) reader through which the configuration file is read.
#pragma once

#include <stdint.h>

namespace korvelt {

class ProfileReader {
 public:
  // Looks `key` up in `section` of the profile file at `path` (names match
  // without regard to case) and copies its value, trimmed of blanks and of
  // one pair of enclosing quotes, into `buffer` of `size` characters; copies
  // `fallback` instead when the file, the section or the key is missing.
  // The copy is always terminated; a value that does not fit is cut to
  // `size` - 1 characters. Returns the number of characters copied.
  virtual uint32_t ReadString(const char* path, const char* section, const char* key, const char* fallback,
                              char* buffer, uint32_t size) = 0;

 protected:
  ~ProfileReader() = default;
};

}  // namespace korvelt
