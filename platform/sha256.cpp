#include "platform/sha256.h"

namespace korvelt {
namespace {

// The bytes one read of a file asks for.
constexpr uint32_t kDigestChunk = 8192;

}  // namespace

bool DigestIs(const Sha256Digest& digest, const char* text) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < 2 * kSha256Size; ++i) {
    char digit = kDigits[(digest.bytes[i / 2] >> (i % 2 ? 0 : 4)) & 15];
    // Upper case is taken for the letters alone. The terminator of a
    // shorter text is no digit.
    if (text[i] != digit && (digit < 'a' || text[i] != digit - ('a' - 'A'))) return false;
  }
  return text[2 * kSha256Size] == '\0';
}

bool DigestFile(FileSystem& files, Sha256Service& sha256, FileId file, Sha256Digest* digest) {
  Sha256State state;
  bool read = sha256.Begin(&state);
  unsigned char buffer[kDigestChunk];
  uint32_t count = 0;
  while (read && (read = files.Read(file, buffer, sizeof buffer, &count) && count <= sizeof buffer) && count) {
    read = sha256.Update(&state, buffer, count);
  }
  // Finished on every path, so that what it holds is released.
  return sha256.Finish(&state, digest) && read;
}

FileId OpenMatching(FileSystem& files, Sha256Service* sha256, const char* path, const char* sha256Text) {
  if (!sha256) return 0;
  FileId file = files.OpenForReading(path);
  Sha256Digest digest;
  if (file && DigestFile(files, *sha256, file, &digest) && DigestIs(digest, sha256Text)) return file;
  if (file) files.Close(file);
  return 0;
}

bool FileMatches(FileSystem& files, Sha256Service* sha256, const char* path, const char* sha256Text) {
  if (!*sha256Text) return true;
  ScopedFile file(files, OpenMatching(files, sha256, path, sha256Text));
  return file.Valid();
}

}  // namespace korvelt
