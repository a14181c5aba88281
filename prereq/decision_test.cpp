#include "prereq/decision.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvelt {
namespace {

struct Row {
  int32_t targetOS;
  PrereqSource source;
  const char* verMin;
  const char* verMax;
  std::vector<std::string> found;
};

void AddRow(PrerequisiteList& list, const Row& row) {
  Prerequisite record;
  record.TargetOS = row.targetOS;
  record.Source = row.source;
  ASSERT_TRUE(record.SearchSpec.VerMin.Assign(row.verMin));
  ASSERT_TRUE(record.SearchSpec.VerMax.Assign(row.verMax));
  ASSERT_TRUE(list.Prerequisites.Push(static_cast<Prerequisite&&>(record)));
  List<String> found;
  for (const std::string& text : row.found) {
    String item;
    ASSERT_TRUE(item.Assign(text.c_str()));
    ASSERT_TRUE(found.Push(static_cast<String&&>(item)));
  }
  ASSERT_TRUE(list.FoundVersions.Push(static_cast<List<String>&&>(found)));
}

constexpr PrereqSource kFile = PrereqSource::SetupFile;
constexpr PrereqSource kUrl = PrereqSource::Url;

struct DecisionCase {
  const char* what;
  Row row;
  OsFamily running;
  PrereqAction action;
  const char* status;
};

// Each prerequisite's initial action and Status text.
TEST(DecisionTest, ActionsAndStatusTexts) {
  const DecisionCase cases[] = {
      {"9x only on NT", {0, kFile, "", "", {"5.0"}}, OsFamily::NtFamily, NotRequired,
       "Not required for this operating system."},
      {"NT only on 9x", {1, kUrl, "", "", {}}, OsFamily::Win9xFamily, NotRequired,
       "Not required for this operating system."},
      {"9x only on 9x", {0, kUrl, "", "", {}}, OsFamily::Win9xFamily, Download, "Required: any. Found: nothing."},
      {"NT only on NT", {1, kFile, "", "", {}}, OsFamily::NtFamily, Install, "Required: any. Found: nothing."},
      {"other TargetOS", {7, kFile, "", "", {}}, OsFamily::NtFamily, Install, "Required: any. Found: nothing."},
      {"at least", {2, kUrl, "2.0", "", {"2.0.507.42"}}, OsFamily::NtFamily, DontInstall,
       "Required: 2.0 or higher. Found: 2.0.507.42"},
      {"too old", {2, kUrl, "2.0", "", {"1.1.432"}}, OsFamily::NtFamily, Download,
       "Required: 2.0 or higher. Found: 1.1.432"},
      {"too old from payload", {2, kFile, "2.0", "", {"1.1.432"}}, OsFamily::NtFamily, Install,
       "Required: 2.0 or higher. Found: 1.1.432"},
      {"upper bound on all four parts", {2, kFile, "2.0", "2.0", {"2.0.507"}}, OsFamily::NtFamily, Install,
       "Required: between 2.0 and 2.0. Found: 2.0.507"},
      {"inclusive bounds", {2, kFile, "1.0", "1.9", {"1.9.0.0"}}, OsFamily::NtFamily, DontInstall,
       "Required: between 1.0 and 1.9. Found: 1.9.0.0"},
      {"above the range", {2, kFile, "1.0", "1.9", {"2.0.0.0"}}, OsFamily::NtFamily, Install,
       "Required: between 1.0 and 1.9. Found: 2.0.0.0"},
      {"anything found counts", {2, kFile, "", "", {"Setup"}}, OsFamily::NtFamily, DontInstall,
       "Required: any. Found: Setup"},
      {"at most", {2, kUrl, "", "3.5", {}}, OsFamily::NtFamily, Download, "Required: 3.5 or lower. Found: nothing."},
      {"at most, found", {2, kUrl, "", "3.5", {"3.5"}}, OsFamily::NtFamily, DontInstall,
       "Required: 3.5 or lower. Found: 3.5"},
      {"zero lower bound", {2, kFile, "0", "", {"0.0.0.0"}}, OsFamily::NtFamily, DontInstall,
       "Required: 0 or higher. Found: 0.0.0.0"},
      {"zero upper bound", {2, kFile, "2.0", "0", {"9.0"}}, OsFamily::NtFamily, DontInstall,
       "Required: between 2.0 and 0. Found: 9.0"},
      {"only the last in range", {2, kFile, "2.0", "", {"1.0", "1.5", "2.1"}}, OsFamily::NtFamily, DontInstall,
       "Required: 2.0 or higher. Found: 1.0, 1.5, 2.1"},
      {"none in range", {2, kUrl, "3", "", {"1.0", "2.9.9.9"}}, OsFamily::NtFamily, Download,
       "Required: 3 or higher. Found: 1.0, 2.9.9.9"},
  };
  for (const DecisionCase& c : cases) {
    SCOPED_TRACE(c.what);
    PrerequisiteList list;
    AddRow(list, c.row);
    EXPECT_EQ(DecideInitialAction(list, 0, c.running), c.action);
    EXPECT_EQ(DecideActions(list, c.running), 0);
    ASSERT_EQ(list.Actions.Count(), 1u);
    EXPECT_EQ(list.Actions[0], c.action);
    String status;
    ASSERT_TRUE(StatusText(list, 0, &status));
    EXPECT_STREQ(status.c_str(), c.status);
  }
}

// NeedsWizard asks for some Install or Download; DecideActions keeps order.
TEST(DecisionTest, NeedsWizardOnlyForInstallOrDownload) {
  PrerequisiteList list;
  AddRow(list, {0, kFile, "", "", {}});       // NotRequired on NT
  AddRow(list, {2, kFile, "", "", {"1"}});    // DontInstall
  DecideActions(list, OsFamily::NtFamily);
  EXPECT_FALSE(NeedsWizard(list));
  AddRow(list, {2, kUrl, "", "", {}});        // Download
  list.Actions.Clear();
  DecideActions(list, OsFamily::NtFamily);
  ASSERT_EQ(list.Actions.Count(), 3u);
  EXPECT_EQ(list.Actions[0], NotRequired);
  EXPECT_EQ(list.Actions[1], DontInstall);
  EXPECT_EQ(list.Actions[2], Download);
  EXPECT_TRUE(NeedsWizard(list));
  PrerequisiteList empty;
  DecideActions(empty, OsFamily::NtFamily);
  EXPECT_FALSE(NeedsWizard(empty));
  // Actions set later by other stages are not work for the wizard.
  for (PrereqAction action : {InstallDownloaded, NotFound, InstallExisting, Installed}) {
    list.Actions[2] = action;
    EXPECT_FALSE(NeedsWizard(list)) << action;
  }
}

// Only a lower-case "q" anywhere in the general Options makes the run quiet.
TEST(DecisionTest, QuietRunNeedsLowerCaseQ) {
  for (auto [options, quiet] : {std::pair{"", false}, {"q", true}, {"Q", false}, {"abqz", true}, {"QQQ", false}}) {
    PrerequisiteList list;
    ASSERT_TRUE(list.GeneralOptions.Options.Assign(options));
    EXPECT_EQ(IsQuietRun(list), quiet) << options;
  }
  // A "q" that is the second byte of a double-byte character does not count.
  PrerequisiteList list;
  ASSERT_TRUE(list.GeneralOptions.Options.Assign("\x82q"));
  EXPECT_FALSE(IsQuietRun(list, [](unsigned char byte) { return byte == 0x82; }));
}

// Only a lower-case "m" anywhere in a prerequisite's Options makes it mandatory.
TEST(DecisionTest, MandatoryNeedsLowerCaseM) {
  for (auto [options, mandatory] : {std::pair{"", false}, {"m", true}, {"M", false}, {"xmz", true}, {"MQ", false}}) {
    Prerequisite prerequisite;
    ASSERT_TRUE(prerequisite.Options.Assign(options));
    EXPECT_EQ(IsMandatory(prerequisite), mandatory) << options;
  }
  Prerequisite prerequisite;
  ASSERT_TRUE(prerequisite.Options.Assign("\x82m"));
  EXPECT_FALSE(IsMandatory(prerequisite, [](unsigned char byte) { return byte == 0x82; }));
}

// Every action value's column text; values without one give "".
TEST(DecisionTest, ActionTexts) {
  struct Case {
    int32_t action;
    const char* text;
  } cases[] = {{0, "Don't Install"}, {1, "Install"}, {2, "Download"},  {3, "Don't Install"},
               {4, "Install"},       {5, "Not Found"}, {6, "Install"}, {7, ""},
               {8, "Installed"},     {9, "Failed"},   {10, ""},        {-1, ""}};
  for (const auto& c : cases) EXPECT_STREQ(ActionText(c.action), c.text) << c.action;
}

// The running family follows GetVersion's top bit.
TEST(DecisionTest, FamilyOfVersion) {
  EXPECT_EQ(FamilyOfVersion(0xC0000A04u), OsFamily::Win9xFamily);
  EXPECT_EQ(FamilyOfVersion(0x80000000u), OsFamily::Win9xFamily);
  EXPECT_EQ(FamilyOfVersion(0x0A280105u), OsFamily::NtFamily);
  EXPECT_EQ(FamilyOfVersion(0u), OsFamily::NtFamily);
}

}  // namespace
}  // namespace korvelt
