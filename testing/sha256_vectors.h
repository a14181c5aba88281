// Known SHA-256 digests, and a driver that feeds a service in pieces of a
// given size, shared by the tests of the native and the Win32 service.
#pragma once

#include <stdio.h>

#include <string>

#include "platform/sha256.h"

namespace korvelt::testing {

struct Sha256Vector {
  const char* name;
  std::string input;
  const char* hex;  // lower case
};

inline const Sha256Vector kSha256Vectors[] = {
    {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"two blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {"a million a", std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

inline std::string HexOf(const Sha256Digest& digest) {
  std::string hex;
  char two[3];
  for (unsigned char byte : digest.bytes) {
    snprintf(two, sizeof two, "%02x", byte);
    hex += two;
  }
  return hex;
}

// The digest of `input` given in pieces of `piece` bytes (all at once for
// 0), as hex; "failed" when the service fails.
inline std::string DigestInPieces(Sha256Service& sha256, const std::string& input, size_t piece) {
  Sha256State state;
  bool updated = sha256.Begin(&state);
  for (size_t at = 0; at < input.size() && updated; at += piece ? piece : input.size()) {
    size_t size = piece && input.size() - at > piece ? piece : input.size() - at;
    updated = sha256.Update(&state, input.data() + at, static_cast<uint32_t>(size));
  }
  Sha256Digest digest;
  return sha256.Finish(&state, &digest) && updated ? HexOf(digest) : "failed";
}

}  // namespace korvelt::testing
