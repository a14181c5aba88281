// Known SHA-256 digests, shared by the tests of the native and the Win32
// service, and a driver that feeds a service in pieces.
#pragma once

#include <stdio.h>

#include <algorithm>
#include <string>

#include "platform/sha256.h"

namespace korvelt::testing {

struct Sha256Vector {
  std::string input;
  const char* hex;
};

// The last spans many chunks of a download's size.
inline const Sha256Vector kSha256Vectors[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

// The digest of `input` given in pieces of at most `piece` bytes, as lower
// case hex; "failed" when the service fails.
inline std::string DigestInPieces(Sha256Service& sha256, const std::string& input, size_t piece) {
  Sha256State state;
  bool ok = sha256.Begin(&state);
  for (size_t at = 0; ok && at < input.size(); at += piece) {
    ok = sha256.Update(&state, input.data() + at, static_cast<uint32_t>(std::min(piece, input.size() - at)));
  }
  Sha256Digest digest;
  if (!sha256.Finish(&state, &digest) || !ok) return "failed";
  std::string hex;
  char two[3];
  for (unsigned char byte : digest.bytes) {
    snprintf(two, sizeof two, "%02x", byte);
    hex += two;
  }
  return hex;
}

}  // namespace korvelt::testing
