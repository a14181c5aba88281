// SHA-256 from CryptoAPI (advapi32): the AES provider, which has it, in a
// context of its own that keeps no keys.
#pragma once

#include "platform/sha256.h"

namespace korvelt {

class Win32Sha256Service final : public Sha256Service {
 public:
  bool Begin(Sha256State* state) override;
  bool Update(Sha256State* state, const void* bytes, uint32_t size) override;
  bool Finish(Sha256State* state, Sha256Digest* digest) override;
};

}  // namespace korvelt
