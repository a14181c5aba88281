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
  // Starts a digest; false, with nothing held, when the system has none.
  virtual bool Begin(Sha256State* state) = 0;
  // Adds `size` bytes.
  virtual bool Update(Sha256State* state, const void* bytes, uint32_t size) = 0;
  // Ends the digest, writing it on success. Every begun digest is finished
  // exactly once, also after a failed Update, which releases its handles.
  virtual bool Finish(Sha256State* state, Sha256Digest* digest) = 0;

 protected:
  ~Sha256Service() = default;
};

// What a file's content must be.
enum class DigestRule : int32_t {
  None = 0,       // nothing is asked: any content will do
  Exact = 1,      // its digest must be `digest`
  Malformed = 2,  // what was given is no digest: no content will do
};

struct ExpectedDigest {
  DigestRule rule = DigestRule::None;
  Sha256Digest digest;
};

// Reads a digest written as exactly 64 hexadecimal digits, in either case:
// Exact for such a text, Malformed (its digest all zero) for any other.
ExpectedDigest ParseSha256(const char* text);

// Reads `file` from where it stands to its end, in chunks through one
// fixed buffer, and digests what it read. False when a read or the digest
// fails.
bool DigestFile(FileSystem& files, Sha256Service& sha256, FileId file, Sha256Digest* digest);

// Whether the content of the open `file` (read from where it stands) is
// what `expected` asks: always with None, never with Malformed. A file
// that cannot be read or digested, or no service, matches no Exact rule.
bool ContentMatches(FileSystem& files, Sha256Service* sha256, FileId file, const ExpectedDigest& expected);

// ContentMatches for the file at `path`, opened for reading and closed
// again; a file that cannot be opened matches only None.
bool FileMatches(FileSystem& files, Sha256Service* sha256, const char* path, const ExpectedDigest& expected);

}  // namespace korvelt
