#include "platform/sha256_win.h"

#include <windows.h>

#include <wincrypt.h>

#include "platform/system_files.h"

namespace korvelt {

// The provider in handles[0], the hash in handles[1].
bool Win32Sha256Service::Begin(Sha256State* state) {
  // What is acquired is kept in the state at once, for Finish to release.
  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
  bool begun = CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
               CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash);
  state->handles[0] = provider;
  state->handles[1] = hash;
  return begun;
}

bool Win32Sha256Service::Update(Sha256State* state, const void* bytes, uint32_t size) {
  return CryptHashData(static_cast<HCRYPTHASH>(state->handles[1]), static_cast<const BYTE*>(bytes), size, 0);
}

bool Win32Sha256Service::Finish(Sha256State* state, Sha256Digest* digest) {
  HCRYPTPROV provider = state->handles[0];
  HCRYPTHASH hash = state->handles[1];
  *state = Sha256State();
  DWORD size = kSha256Size;
  bool done = hash && CryptGetHashParam(hash, HP_HASHVAL, digest->bytes, &size, 0) && size == kSha256Size;
  // A handle never acquired is 0, which the system refuses harmlessly.
  CryptDestroyHash(hash);
  CryptReleaseContext(provider, 0);
  return done;
}

Sha256Service& SystemSha256() {
  static Win32Sha256Service sha256;
  return sha256;
}

}  // namespace korvelt
