#include "testing/fake_registry.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>

namespace korvelt::testing {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
  return text;
}

std::string RootName(RegistryRoot root) { return root == RegistryRoot::LocalMachine ? "HKLM:" : "HKCU:"; }

}  // namespace

FakeRegistry::~FakeRegistry() {
  for (const auto& [key, index] : handles_) ADD_FAILURE() << "key left open: " << keys_[index].path;
}

FakeRegistry::Key* FakeRegistry::Find(RegistryRoot root, const std::string& path) {
  for (Key& key : keys_) {
    if (key.root == root && Lower(key.path) == Lower(path)) return &key;
  }
  return nullptr;
}

FakeRegistry::Key* FakeRegistry::Handle(RegistryKey key) {
  auto found = handles_.find(key);
  if (found == handles_.end()) {
    ADD_FAILURE() << "use of a key that is not open: " << key;
    return nullptr;
  }
  return &keys_[found->second];
}

void FakeRegistry::AddKey(RegistryRoot root, const std::string& path) {
  size_t slash = path.rfind('\\');
  if (slash != std::string::npos) AddKey(root, path.substr(0, slash));
  if (!Find(root, path)) keys_.push_back(Key{root, path, {}});
}

void FakeRegistry::SetValue(RegistryRoot root, const std::string& path, const std::string& name,
                            const std::string& data) {
  std::vector<unsigned char> bytes(data.begin(), data.end());
  bytes.push_back(0);
  SetBinaryValue(root, path, name, bytes);
}

void FakeRegistry::SetBinaryValue(RegistryRoot root, const std::string& path, const std::string& name,
                                  const std::vector<unsigned char>& data) {
  AddKey(root, path);
  Find(root, path)->values[Lower(name)] = data;
}

RegistryKey FakeRegistry::OpenForReading(RegistryRoot root, const char* path) {
  opened.push_back(RootName(root) + path);
  // As the system does, a path with a backslash at either end or an empty
  // piece names no key.
  std::string wanted(path);
  if (wanted.empty() || wanted.front() == '\\' || wanted.back() == '\\' || wanted.find("\\\\") != std::string::npos) {
    return 0;
  }
  Key* key = Find(root, wanted);
  if (!key) return 0;
  RegistryKey id = next_++;
  handles_[id] = static_cast<size_t>(key - keys_.data());
  return id;
}

bool FakeRegistry::SubkeyName(RegistryKey key, uint32_t index, char* name, uint32_t size) {
  Key* parent = Handle(key);
  if (!parent) return false;
  std::string prefix = Lower(parent->path) + "\\";
  uint32_t seen = 0;
  for (const Key& child : keys_) {
    if (child.root != parent->root) continue;
    std::string lower = Lower(child.path);
    if (lower.compare(0, prefix.size(), prefix) != 0 || lower.find('\\', prefix.size()) != std::string::npos) continue;
    if (seen++ != index) continue;
    std::string own = child.path.substr(prefix.size());
    if (own.size() + 1 > size) return false;
    memcpy(name, own.c_str(), own.size() + 1);
    return true;
  }
  return false;
}

bool FakeRegistry::ReadValue(RegistryKey key, const char* name, unsigned char* data, uint32_t* size) {
  Key* owner = Handle(key);
  if (!owner) return false;
  valuesRead.push_back(name);
  auto found = owner->values.find(Lower(name));
  if (found == owner->values.end() || found->second.size() > *size) return false;
  memcpy(data, found->second.data(), found->second.size());
  *size = static_cast<uint32_t>(found->second.size());
  return true;
}

void FakeRegistry::Close(RegistryKey key) {
  if (closed_.count(key)) {
    ADD_FAILURE() << "key closed twice: " << key;
    return;
  }
  if (!Handle(key)) return;
  handles_.erase(key);
  closed_.insert(key);
}

}  // namespace korvelt::testing
