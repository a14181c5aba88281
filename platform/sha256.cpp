#include "platform/sha256.h"

namespace korvelt {
namespace {

// The bytes one read of a file asks for.
constexpr uint32_t kDigestChunk = 8192;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

ExpectedDigest ParseSha256(const char* text) {
  ExpectedDigest expected;
  expected.rule = DigestRule::Malformed;
  Sha256Digest digest;
  for (size_t i = 0; i < kSha256Size; ++i) {
    // A text that ends early stops at its terminator, which is no digit.
    int high = HexValue(text[2 * i]);
    if (high < 0) return expected;
    int low = HexValue(text[2 * i + 1]);
    if (low < 0) return expected;
    digest.bytes[i] = static_cast<unsigned char>(high << 4 | low);
  }
  if (text[2 * kSha256Size] != '\0') return expected;
  expected.rule = DigestRule::Exact;
  expected.digest = digest;
  return expected;
}

bool DigestFile(FileSystem& files, Sha256Service& sha256, FileId file, Sha256Digest* digest) {
  Sha256State state;
  if (!sha256.Begin(&state)) return false;
  unsigned char buffer[kDigestChunk];
  bool read = true;
  for (;;) {
    uint32_t count = 0;
    if (!files.Read(file, buffer, sizeof buffer, &count) || count > sizeof buffer) {
      read = false;
      break;
    }
    if (count == 0) break;
    if (!sha256.Update(&state, buffer, count)) {
      read = false;
      break;
    }
  }
  // Finished on every path, so that its handles are released.
  return sha256.Finish(&state, digest) && read;
}

bool ContentMatches(FileSystem& files, Sha256Service* sha256, FileId file, const ExpectedDigest& expected) {
  if (expected.rule == DigestRule::None) return true;
  if (expected.rule != DigestRule::Exact || !sha256) return false;
  Sha256Digest digest;
  if (!DigestFile(files, *sha256, file, &digest)) return false;
  unsigned char differs = 0;
  for (size_t i = 0; i < kSha256Size; ++i) differs |= digest.bytes[i] ^ expected.digest.bytes[i];
  return differs == 0;
}

bool FileMatches(FileSystem& files, Sha256Service* sha256, const char* path, const ExpectedDigest& expected) {
  if (expected.rule == DigestRule::None) return true;
  ScopedFile file(files, files.OpenForReading(path));
  return file.Valid() && ContentMatches(files, sha256, file.Get(), expected);
}

}  // namespace korvelt
