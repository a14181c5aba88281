#include "prereq/folder_keywords.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "testing/fake_system_folders.h"

namespace korvelt {
namespace {

class FolderKeywordsTest : public ::testing::Test {
 protected:
  std::string Expand(const char* text) {
    String expanded;
    EXPECT_TRUE(ExpandFolderKeywords(folders, text, NoLeadBytes, &expanded));
    return expanded.c_str();
  }
  std::string Resolve(const char* keyword) {
    String folder;
    ResolveFolderKeyword(folders, keyword, strlen(keyword), &folder);
    return folder.c_str();
  }

  testing::FakeSystemFolders folders;
};

// All fourteen keywords resolve, each ending in exactly one backslash.
TEST_F(FolderKeywordsTest, EveryKeywordResolves) {
  folders.shellFolders[38] = "C:\\Program Files\\";  // one that ends in a backslash already
  struct Case {
    const char* keyword;
    const char* folder;
  } cases[] = {
      {"SystemFolder", "C:\\WINDOWS\\system32\\"},
      {"WindowsFolder", "C:\\WINDOWS\\"},
      {"WindowsVolume", "C:\\"},
      {"TempFolder", "C:\\Temp\\"},
      {"ProgramFilesFolder", "C:\\Program Files\\"},
      {"CommonFilesFolder", "C:\\Program Files\\Common Files\\"},
      {"DesktopFolder", "C:\\Users\\ann\\Desktop\\"},
      {"AppDataFolder", "C:\\Users\\ann\\AppData\\Roaming\\"},
      {"FavoritesFolder", "C:\\Users\\ann\\Favorites\\"},
      {"StartMenuFolder", "C:\\Users\\ann\\Start Menu\\"},
      {"ProgramMenuFolder", "C:\\Users\\ann\\Start Menu\\Programs\\"},
      {"StartupFolder", "C:\\Users\\ann\\Start Menu\\Programs\\Startup\\"},
      {"FontsFolder", "C:\\WINDOWS\\Fonts\\"},
      {"ProgramFiles", "C:\\Program Files\\"},
  };
  for (const auto& c : cases) EXPECT_EQ(Resolve(c.keyword), c.folder) << c.keyword;
}

// The folder identifiers asked of the shell are the table's, one per call.
TEST_F(FolderKeywordsTest, ShellFoldersAreAskedEveryTime) {
  Expand("[FontsFolder][FontsFolder][ProgramFiles][StartupFolder]");
  std::vector<std::string> expected = {"shell 20", "shell 20", "shell 38", "shell 7"};
  EXPECT_EQ(folders.asked, expected);
}

// Unknown keywords, wrong case and folders the system lacks give nothing.
TEST_F(FolderKeywordsTest, UnknownOrMissingGivesNothing) {
  folders.shellFolders.erase(16);
  folders.tempDirectory.clear();
  for (const char* keyword : {"programfilesfolder", "Unknown", "", "DesktopFolder", "TempFolder", "SystemFolder "}) {
    EXPECT_EQ(Resolve(keyword), "") << keyword;
  }
}

// Expansion replaces each bracketed keyword; no escapes, no nesting.
TEST_F(FolderKeywordsTest, ExpandsTexts) {
  struct Case {
    const char* text;
    const char* expanded;
  } cases[] = {
      {"[ProgramFilesFolder]Runtime", "C:\\Program Files\\Runtime"},
      {"[SystemFolder]", "C:\\WINDOWS\\system32\\"},
      {"[WindowsVolume]", "C:\\"},
      {"[Unknown]sub", "sub"},
      {"[programfilesfolder]x", "x"},
      {"abc[SystemFolder", "abc[SystemFolder"},
      {"[[SystemFolder]x", "x"},
      {"[TempFolder][SystemFolder]", "C:\\Temp\\C:\\WINDOWS\\system32\\"},
      {"a]b[c", "a]b[c"},
      {"x[]y", "xy"},
      {"[SystemFolder]a[TempFolder", "C:\\WINDOWS\\system32\\a[TempFolder"},
      {"", ""},
      {"plain\\path", "plain\\path"},
  };
  for (const auto& c : cases) EXPECT_EQ(Expand(c.text), c.expanded) << c.text;
}

// A "[" or "]" that is the second byte of a double-byte character is no bracket.
TEST_F(FolderKeywordsTest, TrailBytesAreNotBrackets) {
  auto lead = [](unsigned char byte) { return byte == 0x81; };
  String expanded;
  ASSERT_TRUE(ExpandFolderKeywords(folders, "\x81[[SystemFolder]", lead, &expanded));
  EXPECT_STREQ(expanded.c_str(), "\x81[C:\\WINDOWS\\system32\\");
  ASSERT_TRUE(ExpandFolderKeywords(folders, "[Sys\x81]Folder]x", lead, &expanded));
  EXPECT_STREQ(expanded.c_str(), "x");
  // A shell folder whose last character's trail byte is a backslash still
  // gets its own backslash.
  folders.shellFolders[20] = "C:\\Fonts\x81\\";
  ASSERT_TRUE(ExpandFolderKeywords(folders, "[FontsFolder]", lead, &expanded));
  EXPECT_STREQ(expanded.c_str(), "C:\\Fonts\x81\\\\");
  ASSERT_TRUE(ExpandFolderKeywords(folders, "[FontsFolder]", NoLeadBytes, &expanded));
  EXPECT_STREQ(expanded.c_str(), "C:\\Fonts\x81\\");
}

}  // namespace
}  // namespace korvelt
