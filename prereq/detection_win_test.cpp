// Detection against the real machine under Wine: registry keys and values
// made by the test in both hives, files with and without version
// resources, a file search with depth over a made tree, and the folder
// keywords.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "prereq/detection.h"
#include "prereq/folder_keywords.h"
#include "prereq/system_services_win.h"
#include "prereq/version.h"
#include "testing/win32/scratch_folder.h"

namespace korvelt {
namespace {

using Texts = std::vector<std::string>;

std::string VersionedDll() { return testing::ProgramFolder() + "\\prereq_versioned.dll"; }

class MachineDetectionTest : public ::testing::Test {
 protected:
  Texts Search(int32_t type, const std::string& text) {
    List<String> found;
    RunSearch(services.detection, type, text.c_str(), found);
    Texts result;
    for (const String& item : found) result.push_back(item.c_str());
    return result;
  }

  Win32PrereqSystem system;
  PrereqServices services = system.Services();
};

// A key made for the test under a hive, deleted with its subkeys afterwards.
class TestKey {
 public:
  TestKey(HKEY hive, const std::string& path) : hive_(hive), path_(path) {
    HKEY key;
    created_ = RegCreateKeyExA(hive, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
               ERROR_SUCCESS;
    if (created_) RegCloseKey(key);
  }
  ~TestKey() { RegDeleteTreeA(hive_, path_.c_str()); }
  bool created() const { return created_; }
  void AddSubkey(const std::string& name) {
    HKEY key;
    if (RegCreateKeyExA(hive_, (path_ + "\\" + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
      RegCloseKey(key);
    }
  }
  void SetValue(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    if (RegOpenKeyExA(hive_, path_.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
  }
  void SetText(const char* name, const std::string& text) {
    SetValue(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
  }

 private:
  HKEY hive_;
  std::string path_;
  bool created_;
};

std::string UniqueKeyPath() { return "Software\\KorveltTest\\Run" + std::to_string(GetCurrentProcessId()); }

// Subkey enumeration and value reads in both hives; only "HKLM" is the machine.
TEST_F(MachineDetectionTest, RegistrySearchesInBothHives) {
  std::string path = UniqueKeyPath();
  TestKey user(HKEY_CURRENT_USER, path);
  TestKey machine(HKEY_LOCAL_MACHINE, path);
  ASSERT_TRUE(user.created());
  ASSERT_TRUE(machine.created());
  user.AddSubkey("1.1.432");
  user.AddSubkey("2.0.507");
  machine.AddSubkey("9.0");
  user.SetText("Version", "2.0.507");
  machine.SetText("Version", "9.1");
  machine.SetText("", "machine default");
  machine.SetText("Edition", "Pro");
  std::string full(260, 'f');
  machine.SetValue("Full", REG_BINARY, full.data(), 260);
  std::string tooLong(261, 'g');
  machine.SetValue("TooLong", REG_BINARY, tooLong.data(), 261);
  DWORD number = 0x33;
  machine.SetValue("Number", REG_DWORD, &number, sizeof number);

  Texts subkeys = Search(1, "HKCU\\" + path);
  std::sort(subkeys.begin(), subkeys.end());
  EXPECT_EQ(subkeys, (Texts{"1.1.432", "2.0.507"}));
  EXPECT_EQ(Search(1, "HKLM\\" + path), Texts{"9.0"});
  EXPECT_EQ(Search(1, "hklm\\" + path).size(), 2u);
  EXPECT_EQ(Search(1, "HKEY_LOCAL_MACHINE\\" + path).size(), 2u);
  EXPECT_EQ(Search(1, "HKLM\\" + path + "\\9.0"), Texts{});  // no subkeys: nothing

  EXPECT_EQ(Search(2, "HKCU\\" + path + "\\Version"), Texts{"2.0.507"});
  EXPECT_EQ(Search(2, "HKLM\\" + path + "\\Version"), Texts{"9.1"});
  EXPECT_EQ(Search(1, "HKLM\\" + path + "\\\\Version\\"), Texts{"9.1"});
  EXPECT_EQ(Search(1, "HKLM\\" + path + "\\\\Version"), Texts{"machine default"});
  EXPECT_EQ(Search(2, "HKLM\\" + path + "\\"), Texts{"machine default"});
  EXPECT_EQ(Search(2, "HKLM\\" + path + "\\Missing"), Texts{});
  EXPECT_EQ(Search(1, "HKLM\\" + path + "\\\\Full\\"), Texts{full});
  EXPECT_EQ(Search(1, "HKLM\\" + path + "\\\\TooLong\\"), Texts{});
  EXPECT_EQ(Search(1, "HKLM\\" + path + "\\\\Number\\"), Texts{"3"});
  EXPECT_EQ(Search(1, "HKLM\\" + path + "\\\\Edition\\Pro\\"), Texts{"Pro"});
  EXPECT_EQ(Search(1, "HKLM\\" + path + "\\\\Edition\\Home\\"), Texts{});
  EXPECT_EQ(Search(2, "HKLM\\Software\\KorveltTest\\NoSuchKey\\Version"), Texts{});
}

// The version resource of a real DLL, a file without one, and a missing file.
TEST_F(MachineDetectionTest, ReadsRealVersionResources) {
  uint32_t most = 0, least = 0;
  EXPECT_EQ(ReadFileVersion(system.versions, VersionedDll().c_str(), &most, &least), 0u);
  EXPECT_EQ(most, 0x00020000u);
  EXPECT_EQ(least, 0x01FB002Au);
  String product;
  EXPECT_TRUE(ReadVersionString(VersionedDll().c_str(), "040904b0", "ProductName", &product));
  EXPECT_STREQ(product.c_str(), "Korvelt Test Runtime");
  EXPECT_FALSE(ReadVersionString(VersionedDll().c_str(), "040904b0", "NoSuchString", &product));
  EXPECT_STREQ(product.c_str(), "Korvelt Test Runtime");

  testing::ScratchFolder scratch("versions");
  std::string plain = scratch.path() + "\\plain.txt";
  ASSERT_TRUE(testing::WriteText(plain, "no version here"));
  most = least = 7;
  EXPECT_NE(ReadFileVersion(system.versions, plain.c_str(), &most, &least), 0u);
  EXPECT_EQ(most, 7u);
  EXPECT_EQ(least, 7u);
  EXPECT_NE(ReadFileVersion(system.versions, (scratch.path() + "\\missing.dll").c_str(), &most, &least), 0u);
  EXPECT_FALSE(ReadVersionString(plain.c_str(), "040904b0", "ProductName", &product));
}

// The product name replaces the text only when there is one; true tells
// that the version information was read, with or without it.
TEST_F(MachineDetectionTest, ReadsTheProductName) {
  testing::ScratchFolder scratch("product");
  std::string plain = scratch.path() + "\\plain.txt";
  ASSERT_TRUE(testing::WriteText(plain, "no version here"));
  struct Case {
    std::string path;
    bool read;
    const char* name;
  } cases[] = {
      {VersionedDll(), true, "Korvelt Test Runtime"},
      {testing::ProgramFolder() + "\\prereq_unnamed.dll", true, "kept"},
      {plain, false, "kept"},
      {scratch.path() + "\\missing.dll", false, "kept"},
  };
  for (const Case& c : cases) {
    String name;
    ASSERT_TRUE(name.Assign("kept"));
    EXPECT_EQ(ReadProductName(c.path.c_str(), &name), c.read) << c.path;
    EXPECT_STREQ(name.c_str(), c.name) << c.path;
  }
}

// A search with depth over a made tree finds the first match depth-first,
// reports 0.0.0.0 for a file without a version, and nothing past its depth.
TEST_F(MachineDetectionTest, FileSearchOverAMadeTree) {
  testing::ScratchFolder scratch("search");
  std::string deep = scratch.MakeFolder("a\\b\\c");
  scratch.MakeFolder("z");
  ASSERT_TRUE(CopyFileA(VersionedDll().c_str(), (deep + "\\runtime.dll").c_str(), FALSE));
  ASSERT_TRUE(testing::WriteText(scratch.path() + "\\z\\plain.dll", "x"));
  const std::string& root = scratch.path();
  EXPECT_EQ(Search(0, root + "\\runtime.dll"), Texts{});
  EXPECT_EQ(Search(0, root + "\\runtime.dll?2"), Texts{});
  EXPECT_EQ(Search(0, root + "\\runtime.dll?3"), Texts{"2.0.507.42"});
  EXPECT_EQ(Search(0, root + "\\runtime.dll?9"), Texts{"2.0.507.42"});
  EXPECT_EQ(Search(0, root + "\\plain.dll?1"), Texts{"0.0.0.0"});
  EXPECT_EQ(Search(0, deep + "\\runtime.dll"), Texts{"2.0.507.42"});
  EXPECT_EQ(Search(0, deep + "\\run*.dll"), Texts{"0.0.0.0"});  // the pattern names no file
  EXPECT_EQ(Search(0, root + "\\a"), Texts{"0.0.0.0"});         // a folder counts as found

  // In the current folder when the text has no folder part.
  char previous[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(deep.c_str()));
  Texts here = Search(0, "runtime.dll");
  SetCurrentDirectoryA(previous);
  EXPECT_EQ(here, Texts{"2.0.507.42"});
}

// Every keyword resolves to a folder that exists, ending in a backslash,
// and a keyword search finds a file in it.
TEST_F(MachineDetectionTest, EveryKeywordNamesAnExistingFolder) {
  const char* keywords[] = {"SystemFolder",   "WindowsFolder",   "WindowsVolume",    "TempFolder",
                            "ProgramFilesFolder", "CommonFilesFolder", "DesktopFolder", "AppDataFolder",
                            "FavoritesFolder", "StartMenuFolder", "ProgramMenuFolder", "StartupFolder",
                            "FontsFolder",     "ProgramFiles"};
  for (const char* keyword : keywords) {
    SCOPED_TRACE(keyword);
    String folder;
    ASSERT_TRUE(ResolveFolderKeyword(system.folders, keyword, strlen(keyword), &folder));
    EXPECT_TRUE(folder.EndsWith('\\'));
    DWORD attributes = GetFileAttributesA(folder.c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << folder.c_str();
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY) << folder.c_str();
  }
  char systemDirectory[MAX_PATH];
  GetSystemDirectoryA(systemDirectory, MAX_PATH);
  String expanded;
  ASSERT_TRUE(ExpandFolderKeywords(system.folders, "[SystemFolder]kernel32.dll", SystemLeadByte, &expanded));
  EXPECT_STREQ(expanded.c_str(), (std::string(systemDirectory) + "\\kernel32.dll").c_str());
  EXPECT_EQ(Search(0, "[SystemFolder]kernel32.dll").size(), 1u);
  EXPECT_EQ(Search(0, "[SystemFolder]no-such-file.dll"), Texts{});
}

// The running system under Wine is of the NT family.
TEST(OsFamilyWinTest, WineIsNtFamily) { EXPECT_EQ(RunningOsFamily(), OsFamily::NtFamily); }

}  // namespace
}  // namespace korvelt
