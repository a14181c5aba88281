#include "platform/file_finder_win.h"

#include <string.h>
#include <windows.h>

namespace korvelt {
namespace {

void Take(const WIN32_FIND_DATAA& data, FoundEntry* entry) {
  static_assert(sizeof(entry->name) == sizeof(data.cFileName));
  memcpy(entry->name, data.cFileName, sizeof(entry->name));
  entry->name[sizeof(entry->name) - 1] = '\0';
  entry->isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

FindId Win32FileFinder::FindFirst(const char* pattern, FoundEntry* entry) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern, &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  Take(data, entry);
  return reinterpret_cast<FindId>(find);
}

bool Win32FileFinder::FindNext(FindId find, FoundEntry* entry) {
  WIN32_FIND_DATAA data;
  if (!FindNextFileA(reinterpret_cast<HANDLE>(find), &data)) return false;
  Take(data, entry);
  return true;
}

void Win32FileFinder::Close(FindId find) { FindClose(reinterpret_cast<HANDLE>(find)); }

}  // namespace korvelt
