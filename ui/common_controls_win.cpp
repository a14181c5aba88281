#include "ui/common_controls_win.h"

#include <windows.h>

#include <shlwapi.h>

#include "platform/version_win.h"

namespace korvelt {

bool CommonControlsAtLeast580() {
  // The bootstrapper imports comctl32, so this finds the library already
  // loaded, in the version the manifest asks for.
  HMODULE library = LoadLibraryA("comctl32.dll");
  if (!library) return false;
  DWORD major = 0;
  DWORD minor = 0;
  bool known = false;
  auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(GetProcAddress(library, "DllGetVersion")));
  if (getVersion) {
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof info;
    if (SUCCEEDED(getVersion(&info))) {
      major = info.dwMajorVersion;
      minor = info.dwMinorVersion;
      known = true;
    }
  } else {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(library, path, MAX_PATH);
    Win32VersionReader versions;
    uint32_t most = 0;
    uint32_t least = 0;
    if (length > 0 && length < MAX_PATH && versions.ReadFileVersion(path, &most, &least) == 0) {
      major = most >> 16;
      minor = most & 0xFFFF;
      known = true;
    }
  }
  FreeLibrary(library);
  return known && (major > 5 || (major == 5 && minor >= 80));
}

}  // namespace korvelt
