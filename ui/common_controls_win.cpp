#include "ui/common_controls_win.h"

#include <commctrl.h>
#include <shlwapi.h>

#include "platform/version_info_win.h"

namespace korvelt {
namespace {

// Taken by name, not by its path in the system folder: the name is what
// the manifest's request for version 6 redirects, and the process's DLL
// search reaches no folder but the system's.
constexpr char kCommonControls[] = "comctl32.dll";

constexpr DWORD kVersionRecordSize = 20;

template <typename Function>
Function Find(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool ReadVersion(HMODULE module, const char* library, DWORD* major, DWORD* minor) {
  using GetVersion = HRESULT(CALLBACK*)(DLLVERSIONINFO*);
  if (GetVersion getVersion = Find<GetVersion>(module, "DllGetVersion")) {
    DLLVERSIONINFO info = {};
    info.cbSize = kVersionRecordSize;
    if (FAILED(getVersion(&info))) return false;
    *major = info.dwMajorVersion;
    *minor = info.dwMinorVersion;
    return true;
  }
  Win32VersionReader reader;
  uint32_t mostSignificant = 0;
  uint32_t leastSignificant = 0;
  if (reader.ReadFileVersion(library, &mostSignificant, &leastSignificant) != 0) return false;
  *major = mostSignificant >> 16;
  *minor = mostSignificant & 0xFFFF;
  return true;
}

}  // namespace

bool LibraryAtLeast580(const char* library) {
  HMODULE module = LoadLibraryA(library);
  if (!module) return false;
  DWORD major = 0;
  DWORD minor = 0;
  bool known = ReadVersion(module, library, &major, &minor);
  FreeLibrary(module);
  return known && (major > 5 || (major == 5 && minor >= 80));
}

bool CommonControlsAtLeast580() { return LibraryAtLeast580(kCommonControls); }

CommonControlsLibrary::CommonControlsLibrary(DWORD classes) {
  module_ = LoadLibraryA(kCommonControls);
  if (!module_) return;
  using Initialise = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  Initialise initialise = Find<Initialise>(module_, "InitCommonControlsEx");
  INITCOMMONCONTROLSEX request = {sizeof request, classes};
  ready_ = initialise && initialise(&request);
}

CommonControlsLibrary::~CommonControlsLibrary() {
  if (module_) FreeLibrary(module_);
}

}  // namespace korvelt
