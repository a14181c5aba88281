#include "app/run_host_win.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <string>

#include "app/layout_mode.h"
#include "platform/files_win.h"

namespace korvelt {
namespace {

// A layout's folders on the real file system: a folder of the test's own
// in the temporary folder, removed afterwards.
class LayoutFoldersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    char name[64];
    snprintf(name, sizeof name, "korvelt-layout-test-%lu", GetCurrentProcessId());
    base = std::string(temp) + name;
    ASSERT_TRUE(CreateDirectoryA(base.c_str(), nullptr));
  }
  void TearDown() override {
    for (const char* path : {"\\a b\\c\\d", "\\a b\\c", "\\a b"}) RemoveDirectoryA((base + path).c_str());
    DeleteFileA((base + "\\file").c_str());
    RemoveDirectoryA(base.c_str());
  }
  static bool IsFolder(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

  Win32RunHost host;
  std::string base;
};

// Every missing level is made; a folder that exists counts as made; a file
// in the way, or a name that cannot be a folder, fails.
TEST_F(LayoutFoldersTest, MakesEveryMissingLevel) {
  EXPECT_TRUE(CreateFolderPath(host, (base + "\\a b\\c\\d\\").c_str(), SystemLeadByte));
  EXPECT_TRUE(IsFolder(base + "\\a b\\c\\d"));
  EXPECT_TRUE(CreateFolderPath(host, (base + "\\a b\\c\\d\\").c_str(), SystemLeadByte)) << "again";
  EXPECT_TRUE(host.MakeFolder(base.c_str()));

  HANDLE file = CreateFileA((base + "\\file").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
  EXPECT_FALSE(host.MakeFolder((base + "\\file").c_str()));
  EXPECT_FALSE(CreateFolderPath(host, (base + "\\file\\x\\").c_str(), SystemLeadByte));
  EXPECT_FALSE(CreateFolderPath(host, (base + "\\bad|name\\").c_str(), SystemLeadByte));
}

// A relative path is the current folder's; a full one stays as it is, its
// trailing backslash kept.
TEST_F(LayoutFoldersTest, FullPathOfARelativeFolder) {
  char current[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryA(sizeof current, current), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(base.c_str()));
  String full;
  EXPECT_TRUE(host.FullPath("layout\\", &full));
  EXPECT_EQ(std::string(full.c_str()), base + "\\layout\\");
  EXPECT_TRUE(host.FullPath("C:\\x\\..\\y\\", &full));
  EXPECT_STREQ(full.c_str(), "C:\\y\\");
  SetCurrentDirectoryA(current);
}

}  // namespace
}  // namespace korvelt
