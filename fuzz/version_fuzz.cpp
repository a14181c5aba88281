// Parses arbitrary text as a version and checks what must always hold.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "prereq/version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text = text.c_str();  // the text ends at its first zero byte
  korvelt::VersionNumber version;
  bool parsed = korvelt::ParseVersion(text.c_str(), 0, &version);
  bool hasDigit = text.find_first_of("0123456789") != std::string::npos;
  if (parsed != hasDigit) abort();
  if (version.count < 0 || version.count > 5 || (parsed && version.count == 0)) abort();
  for (int32_t part : version.parts) {
    if (part < 0) abort();
  }
  if (korvelt::CompareVersions(version, version) != 0) abort();
  korvelt::VersionNumber other;
  korvelt::ParseVersion((text + ".1").c_str(), 0, &other);
  if (korvelt::CompareVersions(version, other) != -korvelt::CompareVersions(other, version)) abort();
  return 0;
}
