#include "platform/registry_win.h"

#include <windows.h>

namespace korvelt {
namespace {

HKEY AsKey(RegistryKey key) { return reinterpret_cast<HKEY>(key); }

}  // namespace

RegistryKey Win32Registry::OpenForReading(RegistryRoot root, const char* path) {
  HKEY hive = root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  HKEY key = nullptr;
  if (RegOpenKeyExA(hive, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  return reinterpret_cast<RegistryKey>(key);
}

bool Win32Registry::SubkeyName(RegistryKey key, uint32_t index, char* name, uint32_t size) {
  DWORD length = size;
  return RegEnumKeyExA(AsKey(key), index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool Win32Registry::ReadValue(RegistryKey key, const char* name, unsigned char* data, uint32_t* size) {
  DWORD length = *size;
  if (RegQueryValueExA(AsKey(key), name, nullptr, nullptr, data, &length) != ERROR_SUCCESS) return false;
  *size = length;
  return true;
}

void Win32Registry::Close(RegistryKey key) { RegCloseKey(AsKey(key)); }

}  // namespace korvelt
