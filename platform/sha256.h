// SHA-256 digests of files, by which a downloaded setup program is known
// to be the one its configuration names. The digest itself comes from the
// system (CryptoAPI on Windows, libcrypto natively), given its bytes in
// pieces; reading a file into it and comparing are the same everywhere.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/files.h"

namespace korvelt {

constexpr size_t kSha256Size = 32;

struct Sha256Digest {
  unsigned char bytes[kSha256Size] = {};
};

// A digest under way: the handles the service keeps for it. It belongs to
// the caller, so that digests on several threads share nothing.
struct Sha256State {
  uintptr_t handles[2] = {};
};

class Sha256Service {
 public:
  // Starts a digest; false when the system has none.
  virtual bool Begin(Sha256State* state) = 0;
  // Adds `size` bytes.
  virtual bool Update(Sha256State* state, const void* bytes, uint32_t size) = 0;
  // Ends the digest, writing it on success. Every Begin, failed or not, is
  // followed by exactly one Finish, which releases what the state holds.
  virtual bool Finish(Sha256State* state, Sha256Digest* digest) = 0;

 protected:
  ~Sha256Service() = default;
};

// Whether `text` is `digest` written as exactly 64 hexadecimal digits, in
// either case. Any other text, a blank or a 65th digit included, is none.
bool DigestIs(const Sha256Digest& digest, const char* text);

// Reads `file` from where it stands to its end, in chunks through one
// fixed buffer, and digests what it read. False when a read or the digest
// fails.
bool DigestFile(FileSystem& files, Sha256Service& sha256, FileId file, Sha256Digest* digest);

// Opens `path` for reading, shared with readers alone, and digests it: the
// open file when its content is `sha256` (DigestIs), else 0, the file
// closed. Without a service nothing matches.
FileId OpenMatching(FileSystem& files, Sha256Service* sha256, const char* path, const char* sha256Text);

// Whether the file at `path` holds what `sha256Text` asks: anything when
// it is empty, else that digest (OpenMatching).
bool FileMatches(FileSystem& files, Sha256Service* sha256, const char* path, const char* sha256Text);

}  // namespace korvelt
