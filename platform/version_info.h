// Reading the version resource of a file.
#pragma once

#include <stdint.h>

namespace korvelt {

// The error code of a version read whose buffer could not be obtained.
constexpr uint32_t kVersionNoMemory = 8;

class VersionReader {
 public:
  // Reads the fixed file version of the file at `path`: the most and the
  // least significant 32-bit halves. Returns 0, or the platform's error code
  // (kVersionNoMemory when no buffer could be had). The halves are written
  // only when the root block could be read; otherwise they keep what the
  // caller put there.
  virtual uint32_t ReadFileVersion(const char* path, uint32_t* mostSignificant, uint32_t* leastSignificant) = 0;

 protected:
  ~VersionReader() = default;
};

}  // namespace korvelt
