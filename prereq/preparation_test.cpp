#include "prereq/preparation.h"

#include <gtest/gtest.h>

#include <string>

#include "prereq/profile_text.h"
#include "testing/fake_file_tree.h"
#include "testing/fake_files.h"
#include "testing/fake_registry.h"
#include "testing/fake_system_folders.h"

namespace korvelt {
namespace {

class PhaseTest : public ::testing::Test {
 protected:
  void Write(const std::string& text) { files.files["C:\\T\\app.ini"] = testing::Bytes(text.begin(), text.end()); }

  testing::FakeFileSystem files;
  FileProfileReader profiles{files};
  testing::FakeFileTree tree;
  testing::FakeRegistry registry;
  testing::FakeSystemFolders folders;
  PrereqServices services{profiles, DetectionServices{tree, registry, tree, folders, NoLeadBytes},
                          OsFamily::NtFamily};
};

// A configuration read, detected and decided: one of three is missing.
TEST_F(PhaseTest, PreparesTheWholeList) {
  Write("[GeneralOptions]\nMainAppCmdLine=/qn\nOptions=q\n[PREREQUISITES]\nApp1=Runtime\nApp2=Old OS\nApp3=Fonts\n"
        "[App1]\nSetupFile=rt.exe\nSearchType=2\nVerMin=2.0\nSearchString=HKLM\\Software\\V\\Version\n"
        "[App2]\nTargetOS=0\nUrl=http://x/o.exe\nSearchType=1\nSearchString=HKCU\\Software\\None\n"
        "[App3]\nUrl=http://x/f.exe\nSearchType=0\nSearchString=[FontsFolder]f.ttf?1\n");
  registry.SetValue(RegistryRoot::LocalMachine, "Software\\V", "Version", "2.1");
  PrerequisiteList list;
  EXPECT_EQ(PreparePrerequisites("C:\\T\\app.ini", services, &list), 0);
  ASSERT_EQ(list.Count(), 3u);
  ASSERT_EQ(list.FoundVersions.Count(), 3u);
  ASSERT_EQ(list.Actions.Count(), 3u);
  EXPECT_EQ(list.Actions[0], DontInstall);
  EXPECT_EQ(list.Actions[1], NotRequired);
  EXPECT_EQ(list.Actions[2], Download);
  EXPECT_TRUE(NeedsWizard(list));
  EXPECT_TRUE(IsQuietRun(list));
  EXPECT_STREQ(list.GeneralOptions.MainAppCmdLine.c_str(), "/qn");
  EXPECT_STREQ(list.ConfigPath.c_str(), "C:\\T\\app.ini");
}

// Everything present, or no file at all: nothing for the wizard.
TEST_F(PhaseTest, NothingToDo) {
  PrerequisiteList list;
  PreparePrerequisites("C:\\T\\app.ini", services, &list);
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_FALSE(NeedsWizard(list));

  Write("[PREREQUISITES]\nApp1=R\n[App1]\nSetupFile=r.exe\nSearchType=1\nSearchString=HKCU\\Software\\R\n");
  registry.AddKey(RegistryRoot::CurrentUser, "Software\\R\\Setup");
  PreparePrerequisites("C:\\T\\app.ini", services, &list);
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list.Actions[0], DontInstall);
  EXPECT_FALSE(NeedsWizard(list));
}

// A copied record holds the same texts and numbers as its original.
TEST(RecordsTest, CopyPrerequisiteCopiesEverything) {
  Prerequisite from;
  ASSERT_TRUE(from.DisplayName.Assign("N"));
  ASSERT_TRUE(from.Location.Assign("L"));
  ASSERT_TRUE(from.CommandLine.Assign("C"));
  ASSERT_TRUE(from.Options.Assign("m"));
  ASSERT_TRUE(from.SearchSpec.SearchString.Assign("S"));
  ASSERT_TRUE(from.SearchSpec.VerMin.Assign("1"));
  ASSERT_TRUE(from.SearchSpec.VerMax.Assign("2"));
  from.Source = PrereqSource::Url;
  from.SearchSpec.SearchType = 2;
  from.TargetOS = 1;
  from.ExactSize = 99;
  Prerequisite to;
  ASSERT_TRUE(CopyPrerequisite(from, &to));
  EXPECT_STREQ(to.DisplayName.c_str(), "N");
  EXPECT_STREQ(to.Location.c_str(), "L");
  EXPECT_STREQ(to.CommandLine.c_str(), "C");
  EXPECT_STREQ(to.Options.c_str(), "m");
  EXPECT_STREQ(to.SearchSpec.SearchString.c_str(), "S");
  EXPECT_STREQ(to.SearchSpec.VerMin.c_str(), "1");
  EXPECT_STREQ(to.SearchSpec.VerMax.c_str(), "2");
  EXPECT_EQ(to.Source, PrereqSource::Url);
  EXPECT_EQ(to.SearchSpec.SearchType, 2);
  EXPECT_EQ(to.TargetOS, 1);
  EXPECT_EQ(to.ExactSize, 99);
}

}  // namespace
}  // namespace korvelt
