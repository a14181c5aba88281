// A folder that only the running user, SYSTEM and the Administrators may
// open, whatever its parent allows: a temporary folder in a shared place
// then gives nobody else a way to replace what is written into it.
#pragma once

#include <windows.h>

namespace korvelt {

// The security descriptor such a folder is made with.
class OwnFolderSecurity {
 public:
  // False when the user's identity could not be had.
  bool Build();
  SECURITY_DESCRIPTOR* Descriptor() { return &descriptor_; }

 private:
  // Room for a TOKEN_USER, and for an access list of three entries, each
  // with the largest SID there can be.
  alignas(void*) BYTE user_[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  alignas(DWORD) BYTE acl_[sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)] = {};
  BYTE system_[SECURITY_MAX_SID_SIZE] = {};
  BYTE administrators_[SECURITY_MAX_SID_SIZE] = {};
  SECURITY_DESCRIPTOR descriptor_ = {};
};

// Makes the folder with a protected access list of its own (nothing is
// inherited from the parent) whose entries pass on to what is created in
// it. Fails when something of that name exists already, or when the
// access list cannot be built: the folder is then not made at all.
bool CreateOwnFolder(const char* path);

}  // namespace korvelt
