// An in-memory registry for unit tests. Every key it opens must be closed
// exactly once: closing one twice, or leaving one open when the fake goes
// away, fails the running test.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace korvelt::testing {

class FakeRegistry final : public Registry {
 public:
  ~FakeRegistry();

  RegistryKey OpenForReading(RegistryRoot root, const char* path) override;
  bool SubkeyName(RegistryKey key, uint32_t index, char* name, uint32_t size) override;
  bool ReadValue(RegistryKey key, const char* name, unsigned char* data, uint32_t* size) override;
  void Close(RegistryKey key) override;

  // Makes the key `path` (and the keys above it); subkeys list in the
  // order they were made.
  void AddKey(RegistryRoot root, const std::string& path);
  // Sets a value of the key `path`, making the key; "" is the default value.
  void SetValue(RegistryRoot root, const std::string& path, const std::string& name, const std::string& data);
  void SetBinaryValue(RegistryRoot root, const std::string& path, const std::string& name,
                      const std::vector<unsigned char>& data);

  // What was asked for, in order: "HKLM:path" or "HKCU:path".
  std::vector<std::string> opened;
  std::vector<std::string> valuesRead;
  int openKeys() const { return static_cast<int>(handles_.size()); }

 private:
  struct Key {
    RegistryRoot root;
    std::string path;  // as made
    std::map<std::string, std::vector<unsigned char>> values;  // by lower-case name
  };
  Key* Find(RegistryRoot root, const std::string& path);
  Key* Handle(RegistryKey key);

  std::vector<Key> keys_;  // in the order made
  std::map<RegistryKey, size_t> handles_;
  std::set<RegistryKey> closed_;
  RegistryKey next_ = 1;
};

}  // namespace korvelt::testing
