#include "platform/sha256_win.h"

#include <gtest/gtest.h>

#include "testing/sha256_vectors.h"

namespace korvelt {
namespace {

// CryptoAPI gives the known digests, whether the bytes come at once, in
// odd pieces or in chunks of a download's size.
TEST(Win32Sha256Test, KnownVectors) {
  Win32Sha256Service sha256;
  for (const testing::Sha256Vector& vector : testing::kSha256Vectors) {
    for (size_t piece : {size_t{0}, size_t{1}, size_t{63}, size_t{8192}}) {
      if (piece == 1 && vector.input.size() > 1000) continue;
      EXPECT_EQ(testing::DigestInPieces(sha256, vector.input, piece), vector.hex) << vector.name << ", pieces of " << piece;
    }
  }
}

// A digest ended without bytes is the empty one; two digests under way at
// once keep apart.
TEST(Win32Sha256Test, DigestsKeepApart) {
  Win32Sha256Service sha256;
  Sha256State first;
  Sha256State second;
  ASSERT_TRUE(sha256.Begin(&first));
  ASSERT_TRUE(sha256.Begin(&second));
  ASSERT_TRUE(sha256.Update(&first, "abc", 3));
  Sha256Digest digest;
  ASSERT_TRUE(sha256.Finish(&second, &digest));
  EXPECT_EQ(testing::HexOf(digest), testing::kSha256Vectors[0].hex);
  ASSERT_TRUE(sha256.Finish(&first, &digest));
  EXPECT_EQ(testing::HexOf(digest), testing::kSha256Vectors[1].hex);
  // A finished state holds nothing more.
  EXPECT_FALSE(sha256.Update(&first, "x", 1));
}

}  // namespace
}  // namespace korvelt
