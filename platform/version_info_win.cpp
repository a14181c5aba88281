#include "platform/version_info_win.h"

#include <windows.h>

#include <stdlib.h>

namespace korvelt {
namespace {

using SizeFunction = DWORD(WINAPI*)(LPCSTR, LPDWORD);
using InfoFunction = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
using QueryFunction = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

// version.dll for the length of one read, taken by full path from the
// system folder.
class VersionLibrary {
 public:
  VersionLibrary() {
    char path[MAX_PATH];
    static const char kName[] = "\\version.dll";
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + sizeof(kName) > MAX_PATH) return;
    memcpy(path + length, kName, sizeof(kName));
    module_ = LoadLibraryA(path);
    if (!module_) return;
    size_ = reinterpret_cast<SizeFunction>(reinterpret_cast<void*>(GetProcAddress(module_, "GetFileVersionInfoSizeA")));
    info_ = reinterpret_cast<InfoFunction>(reinterpret_cast<void*>(GetProcAddress(module_, "GetFileVersionInfoA")));
    query_ = reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(GetProcAddress(module_, "VerQueryValueA")));
  }
  ~VersionLibrary() {
    if (module_) FreeLibrary(module_);
  }
  VersionLibrary(const VersionLibrary&) = delete;
  VersionLibrary& operator=(const VersionLibrary&) = delete;

  bool Valid() const { return size_ && info_ && query_; }

  // Reads the whole version information of `path` into a block the holder
  // frees; returns 0 or the error code.
  DWORD Read(const char* path, void** block) {
    DWORD handle = 0;
    DWORD size = size_(path, &handle);
    if (size == 0) return GetLastError();
    *block = malloc(size);
    if (!*block) return kVersionNoMemory;
    if (!info_(path, 0, size, *block)) return GetLastError();
    return 0;
  }

  bool Query(const void* block, const char* name, void** value, UINT* length) {
    return query_(block, name, value, length) != FALSE;
  }

 private:
  HMODULE module_ = nullptr;
  SizeFunction size_ = nullptr;
  InfoFunction info_ = nullptr;
  QueryFunction query_ = nullptr;
};

// Frees the buffer Read made, if any.
struct BlockHolder {
  void* block = nullptr;
  ~BlockHolder() { free(block); }
};

}  // namespace

uint32_t Win32VersionReader::ReadFileVersion(const char* path, uint32_t* mostSignificant,
                                             uint32_t* leastSignificant) {
  VersionLibrary library;
  if (!library.Valid()) return ERROR_MOD_NOT_FOUND;
  BlockHolder holder;
  DWORD error = library.Read(path, &holder.block);
  if (error != 0) return error;
  void* value = nullptr;
  UINT length = 0;
  // A root block shorter than the fixed information is not read past its end.
  if (library.Query(holder.block, "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    *mostSignificant = fixed->dwFileVersionMS;
    *leastSignificant = fixed->dwFileVersionLS;
  }
  return 0;
}

namespace {

enum class StringLookup { NoInformation, NoString, Found };

// Looks up the string `name` of block `block` and, when it is there, puts
// it into `value`; memory that runs out reads as no information.
StringLookup LookUpVersionString(const char* path, const char* block, const char* name, String* value) {
  // Built by hand: the C library's formatting would pull its whole printf
  // into the bootstrapper.
  String query;
  if (!query.Assign("\\StringFileInfo\\") || !query.Append(block) || !query.Append('\\') || !query.Append(name)) {
    return StringLookup::NoInformation;
  }
  VersionLibrary library;
  if (!library.Valid()) return StringLookup::NoInformation;
  BlockHolder holder;
  if (library.Read(path, &holder.block) != 0) return StringLookup::NoInformation;
  void* text = nullptr;
  UINT length = 0;
  if (!library.Query(holder.block, query.c_str(), &text, &length) || !text) return StringLookup::NoString;
  // The length may or may not count the terminator; the text ends at it.
  const char* begin = static_cast<const char*>(text);
  size_t used = 0;
  while (used < length && begin[used] != '\0') ++used;
  return value->Assign(begin, used) ? StringLookup::Found : StringLookup::NoString;
}

}  // namespace

bool ReadVersionString(const char* path, const char* block, const char* name, String* value) {
  return LookUpVersionString(path, block, name, value) == StringLookup::Found;
}

bool ReadProductName(const char* path, String* name) {
  String found;
  StringLookup lookup = LookUpVersionString(path, "040904b0", "ProductName", &found);
  if (lookup == StringLookup::Found && !found.Empty()) *name = static_cast<String&&>(found);
  return lookup != StringLookup::NoInformation;
}

}  // namespace korvelt
