// The system's own profile reader, GetPrivateProfileStringA.
#pragma once

#include "platform/profile.h"

namespace korvelt {

class Win32ProfileReader final : public ProfileReader {
 public:
  uint32_t ReadString(const char* path, const char* section, const char* key, const char* fallback, char* buffer,
                      uint32_t size) override;
};

}  // namespace korvelt
