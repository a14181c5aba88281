#include "platform/own_folder_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "testing/win32/scratch_folder.h"

namespace korvelt {
namespace {

// The entries of an access list.
std::vector<ACCESS_ALLOWED_ACE*> Entries(PACL acl) {
  std::vector<ACCESS_ALLOWED_ACE*> entries;
  for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (GetAce(acl, i, &ace)) entries.push_back(static_cast<ACCESS_ALLOWED_ACE*>(ace));
  }
  return entries;
}

// The access list of a file or folder as the system reports it.
struct ReadAcl {
  std::vector<BYTE> descriptor;
  PACL acl = nullptr;

  explicit ReadAcl(const std::string& path) {
    DWORD size = 0;
    GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    descriptor.resize(size ? size : 1);
    if (!GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size)) return;
    BOOL present = FALSE, defaulted = FALSE;
    if (!GetSecurityDescriptorDacl(descriptor.data(), &present, &acl, &defaulted) || !present) acl = nullptr;
  }
};

std::vector<BYTE> SidOf(WELL_KNOWN_SID_TYPE type) {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  EXPECT_TRUE(CreateWellKnownSid(type, nullptr, sid.data(), &size));
  return sid;
}

std::vector<BYTE> ProcessUserSid() {
  HANDLE token = nullptr;
  EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  std::vector<BYTE> info(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE);
  DWORD size = 0;
  EXPECT_TRUE(GetTokenInformation(token, TokenUser, info.data(), static_cast<DWORD>(info.size()), &size));
  CloseHandle(token);
  PSID sid = reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid;
  return std::vector<BYTE>(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + GetLengthSid(sid));
}

bool SameSid(const ACCESS_ALLOWED_ACE* ace, std::vector<BYTE>& sid) {
  return EqualSid(const_cast<DWORD*>(&ace->SidStart), sid.data()) != FALSE;
}

class OwnFolderTest : public ::testing::Test {
 protected:
  std::vector<BYTE> expected[3] = {ProcessUserSid(), SidOf(WinLocalSystemSid), SidOf(WinBuiltinAdministratorsSid)};

  // Every entry allows one of the three, and nobody else, anything.
  void ExpectOnlyTheThree(PACL acl, const std::string& what) {
    ASSERT_NE(acl, nullptr) << what << " has an access list";
    for (ACCESS_ALLOWED_ACE* ace : Entries(acl)) {
      if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
      bool known = false;
      for (auto& sid : expected) known = known || SameSid(ace, sid);
      EXPECT_TRUE(known) << what << " allows someone else";
    }
  }
};

// The descriptor lists exactly the user, SYSTEM and the Administrators,
// with full access passed on to what is made inside, and is protected, so
// that nothing the parent allows is inherited.
TEST_F(OwnFolderTest, DescriptorAllowsOnlyTheUserSystemAndAdministrators) {
  OwnFolderSecurity security;
  ASSERT_TRUE(security.Build());
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(security.Descriptor(), &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(security.Descriptor(), &present, &acl, &defaulted));
  ASSERT_TRUE(present);
  std::vector<ACCESS_ALLOWED_ACE*> entries = Entries(acl);
  ASSERT_EQ(entries.size(), 3u);
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i]->Header.AceType, ACCESS_ALLOWED_ACE_TYPE) << i;
    EXPECT_EQ(entries[i]->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) << i;
    EXPECT_EQ(entries[i]->Mask, static_cast<DWORD>(GENERIC_ALL)) << i;
    EXPECT_TRUE(SameSid(entries[i], expected[i])) << i;
  }
}

// As the system reports it, the folder made allows nobody but the three
// anything. (Wine keeps no descriptor on the host's files and reports one
// made from the folder's mode, so there this shows that the mode no longer
// lets others into the folder, and so to the files inside.)
TEST_F(OwnFolderTest, FolderAllowsOnlyTheThree) {
  testing::ScratchFolder scratch("own-folder");
  const std::string folder = scratch.path() + "\\own";
  ASSERT_TRUE(CreateOwnFolder(folder.c_str()));
  ExpectOnlyTheThree(ReadAcl(folder).acl, "the folder");
}

// A name that exists already is never taken over, folder or file.
TEST_F(OwnFolderTest, RefusesAnExistingName) {
  testing::ScratchFolder scratch("own-folder");
  const std::string folder = scratch.path() + "\\own";
  ASSERT_TRUE(CreateOwnFolder(folder.c_str()));
  EXPECT_FALSE(CreateOwnFolder(folder.c_str()));
  const std::string file = scratch.path() + "\\file";
  ASSERT_TRUE(testing::WriteText(file, "x"));
  EXPECT_FALSE(CreateOwnFolder(file.c_str()));
}

}  // namespace
}  // namespace korvelt
