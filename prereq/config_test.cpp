#include "prereq/config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "prereq/profile_text.h"
#include "testing/fake_files.h"
#include "testing/recording_profile.h"

namespace korvelt {
namespace {

const char kPath[] = "C:\\Temp\\setup.ini";

class ConfigTest : public ::testing::Test {
 protected:
  void Write(const std::string& text) { files.files[kPath] = testing::Bytes(text.begin(), text.end()); }

  void Load() {
    ASSERT_TRUE(CreatePrerequisiteList(kPath, &list));
    EXPECT_EQ(LoadConfiguration(list, recorder, &end), 0);
  }

  testing::FakeFileSystem files;
  FileProfileReader reader{files};
  testing::RecordingProfileReader recorder{reader};
  PrerequisiteList list;
  ConfigurationEnd end;
};

// Digits at the start count, anything else stops; too large a value holds.
TEST(ParseLeadingNumberTest, ReadsLeadingDigitsOnly) {
  struct Case {
    const char* text;
    int32_t expected;
  } cases[] = {{"", 0},          {"0", 0},           {"7", 7},          {"1x", 1},           {"2a", 2},
               {"x1", 0},        {" 1", 0},          {"-5", 0},         {"+5", 0},           {"007", 7},
               {"123456", 123456}, {"2147483647", 2147483647}, {"2147483648", 2147483647},
               {"99999999999999", 2147483647}};
  for (const Case& c : cases) EXPECT_EQ(ParseLeadingNumber(c.text), c.expected) << '"' << c.text << '"';
}

// A value of 258 characters is used; one of 259 or more (quoted or not),
// "NOT FOUND" and a missing key count as absent and leave the destination
// alone.
TEST_F(ConfigTest, ReadProfileValueRules) {
  Write("[S]\nk258=" + std::string(258, 'a') + "\nk259=" + std::string(259, 'b') + "\nk300=" + std::string(300, 'c') +
        "\nnf=NOT FOUND\nnf2=not found\nempty=\nq258=\"" + std::string(258, 'd') + "\"\nq259=\"" +
        std::string(259, 'e') + "\"\n");
  struct Case {
    const char* key;
    bool present;
    size_t length;
  } cases[] = {{"k258", true, 258}, {"k259", false, 0}, {"k300", false, 0}, {"nf", false, 0},
               {"nf2", true, 9},    {"empty", true, 0}, {"none", false, 0}, {"q258", true, 258},
               {"q259", false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    String value;
    ASSERT_TRUE(value.Assign("before"));
    EXPECT_EQ(ReadProfileValue(reader, kPath, "S", c.key, &value), c.present);
    EXPECT_EQ(value.Length(), c.present ? c.length : 6u);
  }
  String value;
  EXPECT_FALSE(ReadProfileValue(reader, "C:\\none.ini", "S", "k258", &value));
  EXPECT_EQ(files.openHandles(), 0);
}

// Every key is read in its order, into a 260-character buffer, and each
// record gets what its section says.
TEST_F(ConfigTest, ReadsEveryKeyInOrder) {
  Write(
      "[GeneralOptions]\nMainAppCmdLine=/qb ALL=1\nOptions=q\n"
      "[PREREQUISITES]\nApp1=Runtime\nApp2=Fonts\n"
      "[App1]\nTargetOS=1\nSetupFile=runtime.exe\nExactSize=12\nCommandLine=/s\nOptions=m\nSearchType=1\n"
      "VerMin=1.0\nVerMax=2.0\nSearchString=HKLM\\Software\\Vendor\n"
      "[App2]\nUrl=http://example.test/fonts.exe\nSearchType=0\nSearchString=[FontsFolder]a.ttf\n");
  Load();
  std::vector<std::string> expected = {
      "GeneralOptions/MainAppCmdLine", "GeneralOptions/Options", "GeneralOptions/LogFile", "PREREQUISITES/App1",
      "App1/TargetOS", "App1/SetupFile", "App1/ExactSize", "App1/CommandLine", "App1/Options", "App1/SuccessCodes",
      "App1/SearchType", "App1/VerMin", "App1/VerMax", "App1/SearchString", "PREREQUISITES/App2", "App2/TargetOS",
      "App2/SetupFile", "App2/Url", "App2/ExactSize", "App2/Sha256", "App2/Sha256", "App2/FileName",
      "App2/CommandLine", "App2/Options", "App2/SuccessCodes", "App2/SearchType",
      "App2/VerMin", "App2/VerMax", "App2/SearchString", "PREREQUISITES/App3"};
  EXPECT_EQ(recorder.asked, expected);
  for (size_t i = 0; i < recorder.sizes.size(); ++i) {
    // The second look at a missing Sha256 only tells it from one too long
    // to be read.
    if (i != 20) {
      EXPECT_EQ(recorder.sizes[i], 260u) << recorder.asked[i];
    }
  }

  EXPECT_STREQ(list.GeneralOptions.MainAppCmdLine.c_str(), "/qb ALL=1");
  EXPECT_STREQ(list.GeneralOptions.Options.c_str(), "q");
  ASSERT_EQ(list.Count(), 2u);
  const Prerequisite& first = list.Prerequisites[0];
  EXPECT_STREQ(first.DisplayName.c_str(), "Runtime");
  EXPECT_EQ(first.TargetOS, 1);
  EXPECT_EQ(first.Source, PrereqSource::SetupFile);
  EXPECT_STREQ(first.Location.c_str(), "runtime.exe");
  EXPECT_EQ(first.ExactSize, 12);
  EXPECT_STREQ(first.CommandLine.c_str(), "/s");
  EXPECT_STREQ(first.Options.c_str(), "m");
  EXPECT_EQ(first.SearchSpec.SearchType, 1);
  EXPECT_STREQ(first.SearchSpec.VerMin.c_str(), "1.0");
  EXPECT_STREQ(first.SearchSpec.VerMax.c_str(), "2.0");
  EXPECT_STREQ(first.SearchSpec.SearchString.c_str(), "HKLM\\Software\\Vendor");
  const Prerequisite& second = list.Prerequisites[1];
  EXPECT_EQ(second.TargetOS, 2);
  EXPECT_EQ(second.Source, PrereqSource::Url);
  EXPECT_STREQ(second.Location.c_str(), "http://example.test/fonts.exe");
  EXPECT_EQ(second.ExactSize, 0);
  EXPECT_TRUE(second.CommandLine.Empty());
  EXPECT_TRUE(second.Options.Empty());
  EXPECT_TRUE(second.SearchSpec.VerMin.Empty());
  EXPECT_EQ(end.entry, 3);
  EXPECT_EQ(end.reason, ListEnd::NoEntry);
}

// Numbers read as their leading digits; a present but empty TargetOS is 0.
TEST_F(ConfigTest, NumbersReadTheirLeadingDigits) {
  struct Case {
    const char* targetLine;
    int32_t targetOS;
    const char* searchType;
    int32_t searchKind;
  } cases[] = {{"TargetOS=\n", 0, "2a", 2}, {"TargetOS=1x\n", 1, "1", 1}, {"", 2, "x", 0},
               {"TargetOS=0\n", 0, "17", 17}, {"TargetOS=\"1\"\n", 1, "\"2\"", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.targetLine);
    Write(std::string("[PREREQUISITES]\nApp1=A\n[App1]\n") + c.targetLine +
          "SetupFile=a.exe\nSearchType=" + c.searchType + "\nSearchString=x\n");
    Load();
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.Prerequisites[0].TargetOS, c.targetOS);
    EXPECT_EQ(list.Prerequisites[0].SearchSpec.SearchType, c.searchKind);
  }
}

// An invalid section ends the list there, whatever follows; the end says
// which entry and why.
TEST_F(ConfigTest, InvalidSectionEndsTheList) {
  const std::string good = "SetupFile=a.exe\nSearchType=0\nSearchString=a.dll\n";
  struct Case {
    const char* name;
    std::string second;
    ListEnd reason;
  } cases[] = {
      {"no source", "SearchType=0\nSearchString=a.dll\n", ListEnd::NoSource},
      {"no search type", "SetupFile=b.exe\nSearchString=a.dll\n", ListEnd::NoSearchType},
      {"no search string", "SetupFile=b.exe\nSearchType=0\n", ListEnd::NoSearchString},
      {"search string too long", "Url=u\nSearchType=0\nSearchString=" + std::string(259, 's') + "\n",
       ListEnd::NoSearchString},
      {"url too long", "Url=" + std::string(259, 'u') + "\nSearchType=0\nSearchString=a\n", ListEnd::NoSource},
      {"search type without value", "SetupFile=b.exe\nSearchType\nSearchString=a.dll\n", ListEnd::NoSearchType},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write("[PREREQUISITES]\nApp1=One\nApp2=Two\nApp3=Three\n[App1]\n" + good + "[App2]\n" + c.second + "[App3]\n" +
          good);
    Load();
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_STREQ(list.Prerequisites[0].DisplayName.c_str(), "One");
    EXPECT_EQ(end.entry, 2);
    EXPECT_EQ(end.reason, c.reason);
  }
}

// The edge cases of the list: a gap at 3, both sources, 258 characters,
// the section named by the key, general options without a list.
TEST_F(ConfigTest, ListEdgeCases) {
  Write("[PREREQUISITES]\nApp1=A\nApp2=Shown name\nApp4=D\n"
        "[App1]\nSetupFile=a.exe\nUrl=http://x/a.exe\nSearchType=0\nSearchString=" + std::string(258, 's') + "\n"
        "[Shown name]\nSetupFile=wrong.exe\nSearchType=0\nSearchString=wrong\n"
        "[App2]\nUrl=http://x/b.exe\nSearchType=2\nSearchString=HKCU\\b\\v\nVerMin=" + std::string(259, '9') + "\n"
        "[App4]\nSetupFile=d.exe\nSearchType=0\nSearchString=d\n");
  Load();
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_EQ(list.Prerequisites[0].Source, PrereqSource::SetupFile);
  EXPECT_STREQ(list.Prerequisites[0].Location.c_str(), "a.exe");
  EXPECT_EQ(list.Prerequisites[0].SearchSpec.SearchString.Length(), 258u);
  EXPECT_STREQ(list.Prerequisites[1].Location.c_str(), "http://x/b.exe");
  EXPECT_STREQ(list.Prerequisites[1].DisplayName.c_str(), "Shown name");
  EXPECT_TRUE(list.Prerequisites[1].SearchSpec.VerMin.Empty());  // too long: no lower bound
  EXPECT_EQ(end.entry, 3);

  Write("[GeneralOptions]\nMainAppCmdLine=\"/passive\"\nOptions=Q\n");
  Load();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_STREQ(list.GeneralOptions.MainAppCmdLine.c_str(), "/passive");
  EXPECT_STREQ(list.GeneralOptions.Options.c_str(), "Q");
}

// A download's Sha256 is kept as the reader gives it, trimmed and
// unquoted; one there but not 64 characters long (too long to be read, or
// the reader's own default, among them) as "-", which matches no file. A
// setup file's Sha256 is not read: it travels inside the setup.
TEST_F(ConfigTest, Sha256OfADownload) {
  const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015AD";
  struct Case {
    std::string line;
    const char* source;
    std::string kept;
  } cases[] = {{"Sha256=" + abc, "Url", abc},         {"Sha256 =  \"" + abc + "\"  ", "Url", abc},
               {"", "Url", ""},                       {"Sha256=" + abc.substr(1) + "x", "Url", abc.substr(1) + "x"},
               {"Sha256=" + abc.substr(1), "Url", "-"}, {"Sha256=" + abc + "0", "Url", "-"},
               {"Sha256=", "Url", "-"},               {"Sha256=" + std::string(300, 'a'), "Url", "-"},
               {"Sha256=NOT FOUND", "Url", "-"},      {"Sha256=" + abc, "SetupFile", ""}};
  for (const Case& c : cases) {
    Write(std::string("[PREREQUISITES]\nApp1=A\n[App1]\n") + c.source + "=a.exe\n" + c.line +
          "\nSearchType=0\nSearchString=a\n");
    Load();
    ASSERT_EQ(list.Count(), 1u) << c.line;
    EXPECT_EQ(list.Prerequisites[0].Sha256.c_str(), c.kept) << c.line;
    Prerequisite copy;
    ASSERT_TRUE(CopyPrerequisite(list.Prerequisites[0], &copy));
    EXPECT_EQ(copy.Sha256.c_str(), c.kept);
  }
}

// A download's FileName is the name it is saved under; a setup file has
// none, as it travels under its own.
TEST_F(ConfigTest, FileNameOfADownload) {
  struct Case {
    const char* line;
    const char* source;
    const char* kept;
  } cases[] = {{"FileName=vc_redist.x86.exe", "Url", "vc_redist.x86.exe"},
               {"FileName = \"setup 2.exe\"", "Url", "setup 2.exe"},
               {"", "Url", ""},
               {"FileName=vc.exe", "SetupFile", ""}};
  for (const Case& c : cases) {
    Write(std::string("[PREREQUISITES]\nApp1=A\n[App1]\n") + c.source + "=a.exe\n" + c.line +
          "\nSearchType=0\nSearchString=a\n");
    Load();
    ASSERT_EQ(list.Count(), 1u) << c.line;
    EXPECT_STREQ(list.Prerequisites[0].FileName.c_str(), c.kept) << c.line;
    Prerequisite copy;
    ASSERT_TRUE(CopyPrerequisite(list.Prerequisites[0], &copy));
    EXPECT_STREQ(copy.FileName.c_str(), c.kept);
  }
}

// The log's file and a prerequisite's success codes are read as written
// (keywords and numbers are for their users to read), and copied along.
TEST_F(ConfigTest, LogFileAndSuccessCodes) {
  Write("[GeneralOptions]\nLogFile=[TempFolder]contoso setup.log\n[PREREQUISITES]\nApp1=A\nApp2=B\n"
        "[App1]\nSetupFile=a.exe\nSuccessCodes= 0, 3010,5100 \nSearchType=0\nSearchString=a\n"
        "[App2]\nSetupFile=b.exe\nSearchType=0\nSearchString=b\n");
  Load();
  EXPECT_STREQ(list.GeneralOptions.LogFile.c_str(), "[TempFolder]contoso setup.log");
  ASSERT_EQ(list.Count(), 2u);
  EXPECT_STREQ(list.Prerequisites[0].SuccessCodes.c_str(), "0, 3010,5100");
  EXPECT_TRUE(list.Prerequisites[1].SuccessCodes.Empty());
  Prerequisite copy;
  ASSERT_TRUE(CopyPrerequisite(list.Prerequisites[0], &copy));
  EXPECT_STREQ(copy.SuccessCodes.c_str(), "0, 3010,5100");
  ASSERT_TRUE(CreatePrerequisiteList(kPath, &list));
  EXPECT_TRUE(list.GeneralOptions.LogFile.Empty());
}

// A missing file reads as empty options and an empty list.
TEST_F(ConfigTest, MissingFileGivesAnEmptyList) {
  Load();
  EXPECT_EQ(list.Count(), 0u);
  EXPECT_TRUE(list.GeneralOptions.MainAppCmdLine.Empty());
  EXPECT_TRUE(list.GeneralOptions.Options.Empty());
  EXPECT_STREQ(list.ConfigPath.c_str(), kPath);
  EXPECT_EQ(end.entry, 1);
}

// The list keys are "App" and the number without leading zeros.
TEST(FormAppKeyTest, FormsDecimalKeys) {
  char key[16];
  for (auto [n, text] : {std::pair{1, "App1"}, {10, "App10"}, {2147483647, "App2147483647"}}) {
    FormAppKey(n, key);
    EXPECT_STREQ(key, text);
  }
}

}  // namespace
}  // namespace korvelt
