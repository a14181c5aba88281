#include "platform/sha256_win.h"

#include <windows.h>

#include <wincrypt.h>

#include "platform/system_files.h"

namespace korvelt {
namespace {

// The provider in handles[0], the hash in handles[1].
void Release(Sha256State* state) {
  if (state->handles[1]) CryptDestroyHash(static_cast<HCRYPTHASH>(state->handles[1]));
  if (state->handles[0]) CryptReleaseContext(static_cast<HCRYPTPROV>(state->handles[0]), 0);
  *state = Sha256State();
}

}  // namespace

bool Win32Sha256Service::Begin(Sha256State* state) {
  *state = Sha256State();
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
  state->handles[0] = provider;
  HCRYPTHASH hash = 0;
  if (!CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
    Release(state);
    return false;
  }
  state->handles[1] = hash;
  return true;
}

bool Win32Sha256Service::Update(Sha256State* state, const void* bytes, uint32_t size) {
  return state->handles[1] &&
         CryptHashData(static_cast<HCRYPTHASH>(state->handles[1]), static_cast<const BYTE*>(bytes), size, 0);
}

bool Win32Sha256Service::Finish(Sha256State* state, Sha256Digest* digest) {
  BYTE bytes[kSha256Size];
  DWORD size = sizeof bytes;
  bool done = state->handles[1] &&
              CryptGetHashParam(static_cast<HCRYPTHASH>(state->handles[1]), HP_HASHVAL, bytes, &size, 0) &&
              size == kSha256Size;
  Release(state);
  if (!done) return false;
  for (size_t i = 0; i < kSha256Size; ++i) digest->bytes[i] = bytes[i];
  return true;
}

Sha256Service& SystemSha256() {
  static Win32Sha256Service sha256;
  return sha256;
}

}  // namespace korvelt
