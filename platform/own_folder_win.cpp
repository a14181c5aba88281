#include "platform/own_folder_win.h"

namespace korvelt {
namespace {

// The user the process runs as, copied out of its token into `info`.
template <size_t size>
PSID ProcessUser(BYTE (&info)[size]) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
  DWORD needed = 0;
  BOOL read = GetTokenInformation(token, TokenUser, info, size, &needed);
  CloseHandle(token);
  return read ? reinterpret_cast<TOKEN_USER*>(info)->User.Sid : nullptr;
}

// A SID of the NT authority with one or two sub-authorities, built in place.
PSID NtAuthoritySid(BYTE* bytes, BYTE count, DWORD first, DWORD second) {
  SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
  if (!InitializeSid(bytes, &authority, count)) return nullptr;
  *GetSidSubAuthority(bytes, 0) = first;
  if (count > 1) *GetSidSubAuthority(bytes, 1) = second;
  return bytes;
}

}  // namespace

bool OwnFolderSecurity::Build() {
  PSID sids[] = {ProcessUser(user_), NtAuthoritySid(system_, 1, SECURITY_LOCAL_SYSTEM_RID, 0),
                 NtAuthoritySid(administrators_, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS)};
  DWORD aclSize = sizeof(ACL);
  for (PSID sid : sids) {
    if (!sid || !IsValidSid(sid)) return false;
    aclSize += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(sid);
  }
  PACL acl = reinterpret_cast<PACL>(acl_);
  if (!InitializeAcl(acl, aclSize, ACL_REVISION)) return false;
  // Full access for each, passed on to every file and folder made inside.
  for (PSID sid : sids) {
    if (!AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, GENERIC_ALL, sid)) {
      return false;
    }
  }
  // Protected: nothing the parent allows reaches the folder.
  return InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
         SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
         SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

bool CreateOwnFolder(const char* path) {
  OwnFolderSecurity security;
  if (!security.Build()) return false;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, security.Descriptor(), FALSE};
  return CreateDirectoryA(path, &attributes) != FALSE;
}

}  // namespace korvelt
