// SHA-256 from libcrypto, for the native packer and the unit tests.
#pragma once

#include "platform/sha256.h"

namespace korvelt {

class PosixSha256Service final : public Sha256Service {
 public:
  bool Begin(Sha256State* state) override;
  bool Update(Sha256State* state, const void* bytes, uint32_t size) override;
  bool Finish(Sha256State* state, Sha256Digest* digest) override;
};

}  // namespace korvelt
