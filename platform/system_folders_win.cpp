#include "platform/system_folders_win.h"

#include <windows.h>
#include <shlobj.h>

namespace korvelt {
namespace {

// A result that filled the 260-character buffer may have been cut.
bool Take(UINT length, const char* buffer, String* path) {
  if (length == 0 || length >= MAX_PATH) return false;
  return path->Assign(buffer, length);
}

}  // namespace

bool Win32SystemFolders::SystemDirectory(String* path) {
  char buffer[MAX_PATH];
  return Take(GetSystemDirectoryA(buffer, MAX_PATH), buffer, path);
}

bool Win32SystemFolders::WindowsDirectory(String* path) {
  char buffer[MAX_PATH];
  return Take(GetWindowsDirectoryA(buffer, MAX_PATH), buffer, path);
}

bool Win32SystemFolders::TempDirectory(String* path) {
  char buffer[MAX_PATH];
  return Take(GetTempPathA(MAX_PATH, buffer), buffer, path);
}

bool Win32SystemFolders::ShellFolder(int folder, String* path) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, folder, &items)) || !items) return false;
  char buffer[MAX_PATH];
  buffer[0] = '\0';
  BOOL converted = SHGetPathFromIDListA(items, buffer);
  // The item list belongs to the shell's allocator, path or not.
  IMalloc* allocator = nullptr;
  if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
    allocator->Free(items);
    allocator->Release();
  }
  if (!converted || buffer[0] == '\0') return false;
  return path->Assign(buffer);
}

}  // namespace korvelt
