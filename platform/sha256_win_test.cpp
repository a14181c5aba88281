#include "platform/sha256_win.h"

#include <gtest/gtest.h>

#include "testing/sha256_vectors.h"

namespace korvelt {
namespace {

// CryptoAPI gives the known digests, the bytes given at once or in pieces.
TEST(Win32Sha256Test, KnownVectors) {
  Win32Sha256Service sha256;
  for (const testing::Sha256Vector& vector : testing::kSha256Vectors) {
    for (size_t piece : {size_t{1000000}, size_t{63}, size_t{8192}}) {
      EXPECT_EQ(testing::DigestInPieces(sha256, vector.input, piece), vector.hex)
          << vector.input.size() << " bytes in pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace korvelt
