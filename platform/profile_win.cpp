#include "platform/profile_win.h"

#include <windows.h>

namespace korvelt {

uint32_t Win32ProfileReader::ReadString(const char* path, const char* section, const char* key, const char* fallback,
                                        char* buffer, uint32_t size) {
  return GetPrivateProfileStringA(section, key, fallback, buffer, size, path);
}

}  // namespace korvelt
