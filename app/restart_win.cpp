#include "app/restart_win.h"

#include <string.h>

namespace korvelt {
namespace {

// Opens, never creates, the key that holds the value.
class RunKey {
 public:
  RunKey(HKEY root, const char* keyPath) {
    if (RegOpenKeyExA(root, keyPath, 0, KEY_ALL_ACCESS, &key_) != ERROR_SUCCESS) key_ = nullptr;
  }
  ~RunKey() {
    if (key_) RegCloseKey(key_);
  }
  RunKey(const RunKey&) = delete;
  RunKey& operator=(const RunKey&) = delete;

  bool Opened() const { return key_ != nullptr; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// A value whose data exceed the 200 bytes asked for is present all the
// same: counting it absent would write it a second time and never delete it.
bool ValuePresent(HKEY key, const char* name) {
  BYTE data[200];
  DWORD size = sizeof data;
  LONG result = RegQueryValueExA(key, name, nullptr, nullptr, data, &size);
  return result == ERROR_SUCCESS || result == ERROR_MORE_DATA;
}

}  // namespace

bool RegisterRestart(const char* runValueName, HKEY root, const char* keyPath) {
  RunKey key(root, keyPath);
  if (!key.Opened()) return false;
  if (!ValuePresent(key.Get(), runValueName)) {
    DWORD size = static_cast<DWORD>(strlen(runValueName) + 1);
    RegSetValueExA(key.Get(), runValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(runValueName), size);
  }
  return true;
}

bool UnregisterRestart(const char* runValueName, HKEY root, const char* keyPath) {
  RunKey key(root, keyPath);
  if (!key.Opened()) return false;
  if (ValuePresent(key.Get(), runValueName)) RegDeleteValueA(key.Get(), runValueName);
  return true;
}

}  // namespace korvelt
