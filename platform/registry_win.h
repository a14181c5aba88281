// The system's registry, through the A calls.
#pragma once

#include "platform/registry.h"

namespace korvelt {

class Win32Registry final : public Registry {
 public:
  RegistryKey OpenForReading(RegistryRoot root, const char* path) override;
  bool SubkeyName(RegistryKey key, uint32_t index, char* name, uint32_t size) override;
  bool ReadValue(RegistryKey key, const char* name, unsigned char* data, uint32_t* size) override;
  void Close(RegistryKey key) override;
};

}  // namespace korvelt
