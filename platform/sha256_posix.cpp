#include "platform/sha256_posix.h"

#include <openssl/evp.h>

#include "platform/system_files.h"

namespace korvelt {
namespace {

EVP_MD_CTX* Context(const Sha256State* state) { return reinterpret_cast<EVP_MD_CTX*>(state->handles[0]); }

}  // namespace

bool PosixSha256Service::Begin(Sha256State* state) {
  *state = Sha256State();
  // Kept in the state at once, for Finish to release.
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  state->handles[0] = reinterpret_cast<uintptr_t>(context);
  return context && EVP_DigestInit_ex(context, EVP_sha256(), nullptr) == 1;
}

bool PosixSha256Service::Update(Sha256State* state, const void* bytes, uint32_t size) {
  EVP_MD_CTX* context = Context(state);
  return context && EVP_DigestUpdate(context, bytes, size) == 1;
}

bool PosixSha256Service::Finish(Sha256State* state, Sha256Digest* digest) {
  EVP_MD_CTX* context = Context(state);
  if (!context) return false;
  unsigned int size = 0;
  unsigned char bytes[EVP_MAX_MD_SIZE];
  bool done = EVP_DigestFinal_ex(context, bytes, &size) == 1 && size == kSha256Size;
  EVP_MD_CTX_free(context);
  *state = Sha256State();
  if (!done) return false;
  for (size_t i = 0; i < kSha256Size; ++i) digest->bytes[i] = bytes[i];
  return true;
}

Sha256Service& SystemSha256() {
  static PosixSha256Service sha256;
  return sha256;
}

}  // namespace korvelt
