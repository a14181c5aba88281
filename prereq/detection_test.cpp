#include "prereq/detection.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/fake_file_tree.h"
#include "testing/fake_registry.h"
#include "testing/fake_system_folders.h"

namespace korvelt {
namespace {

using Texts = std::vector<std::string>;

class DetectionTest : public ::testing::Test {
 protected:
  Texts Search(int32_t type, const char* text) {
    List<String> found;
    RunSearch(services, type, text, found);
    Texts result;
    for (const String& item : found) result.push_back(item.c_str());
    EXPECT_EQ(tree.openFinds(), 0);
    EXPECT_EQ(registry.openKeys(), 0);
    return result;
  }

  testing::FakeFileTree tree;
  testing::FakeRegistry registry;
  testing::FakeSystemFolders folders;
  DetectionServices services{tree, registry, tree, folders, NoLeadBytes};
};

// The "?" depth, the split point and the folder keywords, as read from texts.
TEST(ParseFileSearchTest, SplitsFolderNameAndDepth) {
  struct Case {
    const char* text;
    const char* folder;
    const char* name;
    int32_t depth;
  } cases[] = {
      {"[SystemFolder]runtime.dll", "[SystemFolder]", "runtime.dll", 0},
      {"[SystemFolder]runtime.dll?2", "[SystemFolder]", "runtime.dll", 2},
      {"[ProgramFilesFolder]Vendor\\app.exe?5", "[ProgramFilesFolder]Vendor\\", "app.exe", 5},
      {"C:\\a\\b.dll?x", "C:\\a\\", "b.dll", 0},
      {"C:\\a\\b.dll?3?4", "C:\\a\\", "b.dll", 3},
      {"?2name", "", "?2name", 0},          // a "?" at the start is part of the name
      {"a.dll", "", "a.dll", 0},
      {"\\a.dll", "", "\\a.dll", 0},        // a backslash at the start is no split point
      {"[TempFolder]\\a.dll", "[TempFolder]\\", "a.dll", 0},
      {"\\[TempFolder]a.dll", "\\[TempFolder]", "a.dll", 0},
      {"C:\\a\\", "C:\\a\\", "", 0},
      {"x?99999999999", "", "x", 2147483647},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    FileSearchTarget target;
    ASSERT_TRUE(ParseFileSearch(c.text, NoLeadBytes, &target));
    EXPECT_STREQ(target.folder.c_str(), c.folder);
    EXPECT_STREQ(target.name.c_str(), c.name);
    EXPECT_EQ(target.depth, c.depth);
  }
}

// A file found in the named folder reports its version; one without a
// version resource reports 0.0.0.0; a missing one nothing.
TEST_F(DetectionTest, FileSearchReportsTheVersion) {
  tree.AddVersionedFile("C:\\WINDOWS\\system32\\runtime.dll", 0x00020000, 0x01FB002A);
  tree.AddFile("C:\\WINDOWS\\system32\\plain.dll");
  EXPECT_EQ(Search(0, "[SystemFolder]runtime.dll"), Texts{"2.0.507.42"});
  EXPECT_EQ(Search(0, "[SystemFolder]plain.dll"), Texts{"0.0.0.0"});
  EXPECT_EQ(Search(0, "[SystemFolder]missing.dll"), Texts{});
  EXPECT_EQ(Search(0, "[Unknown]runtime.dll"), Texts{});
  // A folder of the name counts as found too.
  tree.AddFolder("C:\\WINDOWS\\system32\\Sub");
  EXPECT_EQ(Search(0, "[SystemFolder]Sub"), Texts{"0.0.0.0"});
}

// Without "?" only the folder itself is searched; with a depth the
// subfolders are too, depth-first, and the first match in listing order wins.
TEST_F(DetectionTest, FileSearchWalksSubfoldersDepthFirst) {
  tree.AddFolder("C:\\P\\a");
  tree.AddFolder("C:\\P\\a\\deep");
  tree.AddVersionedFile("C:\\P\\a\\deep\\x.dll", 0x00030000, 0);
  tree.AddVersionedFile("C:\\P\\b\\x.dll", 0x00010000, 0);
  tree.AddFile("C:\\P\\c.txt");
  struct Case {
    const char* text;
    Texts found;
  } cases[] = {{"C:\\P\\x.dll", {}},
               {"C:\\P\\x.dll?1", {"1.0.0.0"}},
               {"C:\\P\\x.dll?2", {"3.0.0.0"}},
               {"C:\\P\\x.dll?0", {}}};
  for (const auto& c : cases) EXPECT_EQ(Search(0, c.text), c.found) << c.text;

  tree.patterns.clear();
  Search(0, "C:\\P\\x.dll?2");
  Texts expected = {"C:\\P\\x.dll", "C:\\P\\*.*", "C:\\P\\a\\x.dll", "C:\\P\\a\\*.*", "C:\\P\\a\\deep\\x.dll"};
  EXPECT_EQ(tree.patterns, expected);
}

// A search that finds nothing lists no deeper than its depth and closes
// every listing.
TEST_F(DetectionTest, FileSearchStopsAtItsDepth) {
  tree.AddFolder("C:\\R\\1\\2\\3");
  tree.AddFile("C:\\R\\1\\2\\3\\x.dll");
  EXPECT_EQ(Search(0, "C:\\R\\x.dll?2"), Texts{});
  for (const std::string& pattern : tree.patterns) EXPECT_EQ(pattern.find("\\3\\"), std::string::npos) << pattern;
  EXPECT_EQ(Search(0, "C:\\R\\x.dll?3"), Texts{"0.0.0.0"});
}

// Without a backslash and "]" the name is looked for in the current
// folder; a wildcard name reads its version from the pattern.
TEST_F(DetectionTest, FileSearchCurrentFolderAndWildcards) {
  tree.AddVersionedFile("C:\\Work\\here.dll", 0x00050000, 0);
  tree.AddVersionedFile("C:\\Work\\v1.dll", 0x00010000, 0);
  EXPECT_EQ(Search(0, "here.dll"), Texts{"5.0.0.0"});
  EXPECT_EQ(Search(0, "C:\\Work\\v*.dll"), Texts{"0.0.0.0"});
  EXPECT_EQ(tree.versionsRead.back(), "C:\\Work\\v*.dll");
}

// A subfolder whose name ends in a trail byte that looks like a backslash
// is still joined to the name with a backslash of its own.
TEST_F(DetectionTest, FileSearchJoinsDoubleByteFolderNames) {
  services.isLead = [](unsigned char byte) { return byte == 0x83; };
  tree.isLead = services.isLead;
  tree.AddVersionedFile("C:\\P\\\x83\\\\x.dll", 0x00040000, 0);
  EXPECT_EQ(Search(0, "C:\\P\\x.dll?1"), Texts{"4.0.0.0"});
  EXPECT_EQ(Search(0, "C:\\P\\\x83\\\\x.dll"), Texts{"4.0.0.0"});
}

// Subkey names are reported in enumeration order; an empty key reports nothing.
TEST_F(DetectionTest, RegistryEnumerationListsSubkeys) {
  registry.AddKey(RegistryRoot::CurrentUser, "Software\\Vendor\\Runtime\\1.1.432");
  registry.AddKey(RegistryRoot::CurrentUser, "Software\\Vendor\\Runtime\\2.0.507");
  registry.AddKey(RegistryRoot::LocalMachine, "Software\\Vendor\\Runtime\\9.9");
  registry.AddKey(RegistryRoot::CurrentUser, "Software\\Empty");
  struct Case {
    const char* text;
    Texts found;
  } cases[] = {
      {"HKLM\\Software\\Vendor\\Runtime", {"9.9"}},
      {"HKCU\\Software\\Vendor\\Runtime", {"1.1.432", "2.0.507"}},
      {"hklm\\Software\\Vendor\\Runtime", {"1.1.432", "2.0.507"}},  // only "HKLM" is the machine
      {"HKEY_LOCAL_MACHINE\\Software\\Vendor\\Runtime", {"1.1.432", "2.0.507"}},
      {"anything\\Software\\Vendor\\Runtime", {"1.1.432", "2.0.507"}},
      {"HKCU\\Software\\Empty", {}},
      {"HKCU\\Software\\Missing", {}},
      {"HKCU", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Search(1, c.text), c.found) << c.text;
}

// Value reads: type 1 with two backslashes, type 2 by its last backslash,
// the default value, and the data as text up to its first zero byte.
TEST_F(DetectionTest, RegistryValueReads) {
  const char* key = "Software\\Vendor\\Runtime";
  registry.SetValue(RegistryRoot::LocalMachine, key, "Version", "2.0.507");
  registry.SetValue(RegistryRoot::LocalMachine, key, "", "default data");
  registry.SetBinaryValue(RegistryRoot::LocalMachine, key, "Full", std::vector<unsigned char>(260, 'f'));
  registry.SetBinaryValue(RegistryRoot::LocalMachine, key, "TooLong", std::vector<unsigned char>(261, 'g'));
  registry.SetBinaryValue(RegistryRoot::LocalMachine, key, "Dword", {0x31, 0x00, 0x00, 0x00});
  struct Case {
    int32_t type;
    const char* text;
    Texts found;
  } cases[] = {
      {1, "HKLM\\Software\\Vendor\\Runtime\\\\Version\\", {"2.0.507"}},
      {2, "HKLM\\Software\\Vendor\\Runtime\\Version", {"2.0.507"}},
      {2, "HKLM\\Software\\Vendor\\Runtime\\Missing", {}},
      {1, "HKLM\\Software\\Vendor\\Runtime\\\\Missing\\", {}},
      {2, "HKLM\\Software\\Vendor\\Runtime\\", {"default data"}},
      {1, "HKLM\\Software\\Vendor\\Runtime\\\\Version", {"default data"}},  // no closing backslash
      {1, "HKLM\\Software\\Vendor\\Runtime\\\\", {"default data"}},
      {1, "HKLM\\Software\\Vendor\\Runtime\\\\Full\\", {std::string(260, 'f')}},
      {1, "HKLM\\Software\\Vendor\\Runtime\\\\TooLong\\", {}},
      {1, "HKLM\\Software\\Vendor\\Runtime\\\\Dword\\", {"1"}},
      {2, "HKCU\\Software\\Vendor\\Runtime\\Version", {}},
      {2, "NoBackslash", {}},
      {7, "HKLM\\Software\\Vendor\\Runtime\\Version", {}},  // no search of that type
      {-1, "HKLM\\Software\\Vendor\\Runtime", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Search(c.type, c.text), c.found) << c.type << " " << c.text;
}

// A segment after the value name, closed by a backslash, must equal the data.
TEST_F(DetectionTest, RegistryExpectedSegmentMustMatch) {
  registry.SetValue(RegistryRoot::CurrentUser, "Software\\V", "Edition", "Pro");
  struct Case {
    const char* text;
    Texts found;
  } cases[] = {
      {"HKCU\\Software\\V\\\\Edition\\Pro\\", {"Pro"}},
      {"HKCU\\Software\\V\\\\Edition\\pro\\", {}},
      {"HKCU\\Software\\V\\\\Edition\\Home\\", {}},
      {"HKCU\\Software\\V\\\\Edition\\Home", {"Pro"}},  // not closed: no segment
      {"HKCU\\Software\\V\\\\Edition\\\\", {}},          // an empty segment is not the data
  };
  for (const auto& c : cases) EXPECT_EQ(Search(1, c.text), c.found) << c.text;
}

// The type 2 rewrite doubles the last backslash and closes the name.
TEST(RegistryValueSearchTextTest, RewritesTheLastBackslash) {
  struct Case {
    const char* text;
    bool ok;
    const char* rewritten;
  } cases[] = {{"HKLM\\Software\\Vendor\\Runtime\\Version", true, "HKLM\\Software\\Vendor\\Runtime\\\\Version\\"},
               {"HKLM\\a\\", true, "HKLM\\a\\\\\\"},
               {"HKLM\\v", true, "HKLM\\\\v\\"},
               {"none", false, ""}};
  for (const auto& c : cases) {
    String rewritten;
    EXPECT_EQ(RegistryValueSearchText(c.text, NoLeadBytes, &rewritten), c.ok) << c.text;
    EXPECT_STREQ(rewritten.c_str(), c.rewritten);
  }
}

// The registry text's parts, including a trail byte that looks like a backslash.
TEST(ParseRegistrySearchTest, ReadsRootKeyAndValue) {
  RegistrySearchTarget target;
  ASSERT_TRUE(ParseRegistrySearch("HKLM\\A\\B\\\\Name\\Want\\", NoLeadBytes, &target));
  EXPECT_EQ(target.root, RegistryRoot::LocalMachine);
  EXPECT_STREQ(target.keyPath.c_str(), "A\\B");
  EXPECT_TRUE(target.readsValue);
  EXPECT_STREQ(target.valueName.c_str(), "Name");
  EXPECT_TRUE(target.hasExpected);
  EXPECT_STREQ(target.expected.c_str(), "Want");

  auto lead = [](unsigned char byte) { return byte == 0x83; };
  ASSERT_TRUE(ParseRegistrySearch("HKCU\\A\x83\\\\B", lead, &target));
  EXPECT_FALSE(target.readsValue);
  EXPECT_STREQ(target.keyPath.c_str(), "A\x83\\\\B");
}

// Every prerequisite gets its list of findings, empty or not, in order.
TEST_F(DetectionTest, RunDetectionKeepsOneListPerPrerequisite) {
  registry.AddKey(RegistryRoot::CurrentUser, "Software\\R\\1.0");
  PrerequisiteList list;
  ASSERT_TRUE(CreatePrerequisiteList("c.ini", &list));
  for (auto [type, text] : {std::pair{1, "HKCU\\Software\\R"}, {0, "C:\\none\\x.dll"}, {1, "HKCU\\Software\\R"}}) {
    Prerequisite record;
    record.SearchSpec.SearchType = type;
    ASSERT_TRUE(record.SearchSpec.SearchString.Assign(text));
    ASSERT_TRUE(list.Prerequisites.Push(static_cast<Prerequisite&&>(record)));
  }
  EXPECT_EQ(RunDetection(list, services), 0);
  ASSERT_EQ(list.FoundVersions.Count(), 3u);
  EXPECT_EQ(list.FoundVersions[0].Count(), 1u);
  EXPECT_EQ(list.FoundVersions[1].Count(), 0u);
  EXPECT_STREQ(list.FoundVersions[2][0].c_str(), "1.0");
}

}  // namespace
}  // namespace korvelt
