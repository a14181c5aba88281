// Read-only access to the registry, as the detection searches need it.
#pragma once

#include <stdint.h>

#include "base/scoped.h"

namespace korvelt {

enum class RegistryRoot { CurrentUser, LocalMachine };

// An open key as the service names it; 0 is no key.
using RegistryKey = uintptr_t;

class Registry {
 public:
  // Opens `path` under `root` for reading; 0 when it cannot be opened.
  virtual RegistryKey OpenForReading(RegistryRoot root, const char* path) = 0;
  // Copies the name of subkey `index` into `name` of `size` characters;
  // false when there is no such subkey or its name does not fit.
  virtual bool SubkeyName(RegistryKey key, uint32_t index, char* name, uint32_t size) = 0;
  // Reads the data of value `name` ("" is the default value) into `data`;
  // `size` is the room on entry and the data's length on success. False
  // when the value is missing or its data does not fit.
  virtual bool ReadValue(RegistryKey key, const char* name, unsigned char* data, uint32_t* size) = 0;
  // Closes a key this service opened; every key is closed exactly once.
  virtual void Close(RegistryKey key) = 0;

 protected:
  ~Registry() = default;
};

using ScopedKey = Scoped<Registry, RegistryKey>;

}  // namespace korvelt
