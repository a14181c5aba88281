#include "tools/pack/config_check.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/pack/cli.h"
#include "tools/pack/pack_error.h"

namespace korvelt::pack {
namespace {

class ConfigCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = std::filesystem::temp_directory_path() / ("korvelt-check-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    path = (folder / "app.ini").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder); }

  int Check(const std::string& text, const std::vector<std::string>& names = {}, bool checkFiles = true) {
    std::ofstream(path, std::ios::binary) << text;
    report.str("");
    CheckContext context;
    context.payloadNames = names;
    context.checkSetupFiles = checkFiles;
    CheckOutcome outcome = CheckConfiguration(path, context, report);
    refusals = outcome.refusals;
    return outcome.warnings;
  }
  int Count(const std::string& needle) const {
    std::string text = report.str();
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++count;
    return count;
  }

  std::filesystem::path folder;
  std::string path;
  std::ostringstream report;
  std::vector<std::string> refusals;
};

const char kGood[] = "SetupFile=rt.exe\nSearchType=1\nSearchString=HKLM\\Software\\V\n";

// A sound configuration lists every prerequisite and warns about nothing.
TEST_F(ConfigCheckTest, SoundConfigurationHasNoWarnings) {
  EXPECT_EQ(Check(std::string("[GeneralOptions]\nOptions=q\n[PREREQUISITES]\nApp1=Runtime\nApp2=Web\n[App1]\n") +
                      kGood + "[App2]\nUrl=http://x/w.exe\nSearchType=0\nVerMin=2.0\nSearchString=[SystemFolder]w.dll\n",
                  {"rt.exe", "app.msi"}),
            0)
      << report.str();
  EXPECT_EQ(Count("warning:"), 0);
  EXPECT_EQ(Count("prerequisites: 2"), 1);
  EXPECT_EQ(Count("App1 \"Runtime\": SetupFile rt.exe"), 1);
  EXPECT_EQ(Count("App2 \"Web\": Url http://x/w.exe"), 1);
  EXPECT_EQ(Count("2.0 or higher"), 1);
  EXPECT_EQ(Count("quiet: yes"), 1);
}

// An invalid section is named with its reason, and the prerequisites it
// drops are said to be dropped.
TEST_F(ConfigCheckTest, InvalidSectionIsReported) {
  struct Case {
    std::string section;
    const char* reason;
  } cases[] = {{"SearchType=0\nSearchString=x\n", "neither SetupFile nor Url"},
               {"SetupFile=rt.exe\nSearchString=x\n", "no SearchType"},
               {"SetupFile=rt.exe\nSearchType=0\n", "no SearchString"},
               {"SetupFile=rt.exe\nSearchType=0\nSearchString=" + std::string(300, 's') + "\n", "no SearchString"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    EXPECT_GE(Check(std::string("[PREREQUISITES]\nApp1=A\nApp2=B\nApp3=C\n[App1]\n") + kGood + "[App2]\n" +
                        c.section + "[App3]\n" + kGood,
                    {"rt.exe"}),
              1);
    EXPECT_EQ(Count("the list ends at App2: section [App2] is invalid"), 1) << report.str();
    EXPECT_EQ(Count(c.reason), 1) << report.str();
    EXPECT_EQ(Count("prerequisites: 1"), 1);
  }
  EXPECT_EQ(Count("[App2] SearchString is 300 characters long"), 1) << report.str();
}

// A gap in the App numbers ends the list; the entries after it are named.
TEST_F(ConfigCheckTest, GapInTheListIsReported) {
  EXPECT_EQ(Check(std::string("[PREREQUISITES]\nApp1=A\nApp3=C\n[App1]\n") + kGood + "[App3]\n" + kGood, {"rt.exe"}),
            1);
  EXPECT_EQ(Count("the list ends at App2, which [PREREQUISITES] lacks; App3"), 1) << report.str();
}

// A SetupFile that the payload lacks is a warning, unless files lie beside
// the setup.
TEST_F(ConfigCheckTest, MissingSetupFileIsReported) {
  std::string text = std::string("[PREREQUISITES]\nApp1=A\n[App1]\n") + kGood;
  EXPECT_EQ(Check(text, {"other.exe"}), 1);
  EXPECT_EQ(Count("SetupFile rt.exe is not in the payload"), 1) << report.str();
  EXPECT_EQ(Check(text, {"RT.EXE"}), 1);  // names match exactly
  EXPECT_EQ(Check(text, {}, false), 0);
}

// Too long values, and a search type that searches nothing, are warned of.
TEST_F(ConfigCheckTest, UnreadableValuesAreReported) {
  EXPECT_EQ(Check("[GeneralOptions]\nMainAppCmdLine=" + std::string(259, 'm') +
                      "\n[PREREQUISITES]\nApp1=A\n[App1]\nSetupFile=rt.exe\nSearchType=5\nVerMin=\"" +
                      std::string(259, '1') + "\"\nSearchString=x\n",
                  {"rt.exe"}),
            3)
      << report.str();
  EXPECT_EQ(Count("[GeneralOptions] MainAppCmdLine is 259 characters long"), 1);
  EXPECT_EQ(Count("[App1] VerMin is 259 characters long"), 1);
  EXPECT_EQ(Count("SearchType 5 searches nothing"), 1);
}

// A missing file is an error naming it, not an empty list; nothing of a
// report is written.
TEST_F(ConfigCheckTest, MissingFileIsAnError) {
  std::ostringstream out;
  std::string missing = (folder / "none.ini").string();
  try {
    CheckConfiguration(missing, CheckContext(), out);
    ADD_FAILURE() << "a missing file was checked";
  } catch (const PackError& error) {
    EXPECT_NE(std::string(error.what()).find(missing), std::string::npos) << error.what();
  }
  EXPECT_EQ(out.str(), "");
}

const char kAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

// hash prints the two lines a download's section needs; no plain file is
// refused in one line.
TEST_F(ConfigCheckTest, HashPrintsTheDownloadKeys) {
  std::ofstream(folder / "abc.exe", std::ios::binary) << "abc";
  std::ostringstream out, err;
  EXPECT_EQ(Main({"hash", (folder / "abc.exe").string()}, out, err), 0) << err.str();
  EXPECT_EQ(out.str(), "ExactSize=3\nSha256=" + std::string(kAbc) + "\n");
  EXPECT_EQ(Main({"hash", folder.string()}, out, err), 1);
  EXPECT_EQ(Main({"hash"}, out, err), 2);
  EXPECT_NE(err.str().find("not a plain file"), std::string::npos) << err.str();
}

// check warns of a Sha256 that is no digest and of one on a SetupFile;
// --downloads compares each download's copy, named as the bootstrapper
// names it, one line each, and any mismatch makes the exit code 1.
TEST_F(ConfigCheckTest, Sha256AndDownloads) {
  std::filesystem::create_directories(folder / "dl");
  for (auto [name, bytes] : {std::pair{"ok.exe", "abc"}, {"plain.exe", "xyz"}, {"short.exe", "ab"},
                             {"other.exe", "abd"}, {"bad.exe", "abc"}}) {
    std::ofstream(folder / "dl" / name, std::ios::binary) << bytes;
  }
  const std::string rest = "ExactSize=3\nSearchType=0\nSearchString=a\n", sha = "Sha256=" + std::string(kAbc) + "\n";
  std::string text = "[PREREQUISITES]\nApp1=A\nApp2=B\nApp3=C\nApp4=D\nApp5=E\nApp6=F\nApp7=G\n";
  text += "[App1]\nUrl=http://x/y/ok.exe\n" + sha + rest + "[App2]\nUrl=http://x\\plain.exe\n" + rest;
  text += "[App3]\nUrl=http://x/short.exe\n" + sha + rest + "[App4]\nUrl=http://x/other.exe\n" + sha + rest;
  text += "[App5]\nUrl=http://x/missing.exe\n" + rest + "[App6]\nUrl=http://x/bad.exe\nSha256=abc\n" + rest;
  text += "[App7]\nSetupFile=rt.exe\n" + sha + rest;
  std::ofstream(path, std::ios::binary) << text;
  std::ostringstream out, err;
  EXPECT_EQ(Main({"check", path, "rt.exe", "--downloads", (folder / "dl").string()}, out, err), 1) << err.str();
  for (const std::string line :
       {"warning: App6: Sha256 \"abc\" is not 64 hexadecimal digits", "warning: App7: Sha256 is not looked at",
        "  App1 ok.exe: ok\n", "  App2 plain.exe: ok\n", "  App3 short.exe: wrong size: 2 bytes, ExactSize 3\n",
        "  App4 other.exe: wrong hash: Sha256=", "  App5 missing.exe: missing\n", "  App6 bad.exe: wrong hash"}) {
    EXPECT_NE(out.str().find(line), std::string::npos) << line << "\nin:\n" << out.str();
  }
  EXPECT_EQ(out.str().find(" rt.exe:"), std::string::npos) << "a SetupFile is no download";
  std::ofstream(path, std::ios::binary) << "[PREREQUISITES]\nApp1=A\n[App1]\nUrl=http://x/y/ok.exe\n" + sha + rest;
  EXPECT_EQ(Main({"check", path, "--downloads", (folder / "dl").string()}, out, err), 0);
  EXPECT_EQ(Main({"check", path, "--downloads"}, out, err), 2);
}

}  // namespace
}  // namespace korvelt::pack
