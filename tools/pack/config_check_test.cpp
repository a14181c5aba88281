#include "tools/pack/config_check.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
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

const char kAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const char kGood[] = "SetupFile=rt.exe\nSearchType=1\nSearchString=HKLM\\Software\\V\n";

// A sound configuration lists every prerequisite and warns about nothing.
TEST_F(ConfigCheckTest, SoundConfigurationHasNoWarnings) {
  EXPECT_EQ(Check(std::string("[GeneralOptions]\nOptions=q\nLogFile=[TempFolder]Contoso Setup.log\n"
                              "[PREREQUISITES]\nApp1=Runtime\nApp2=Web\n[App1]\n") +
                      kGood + "[App2]\nUrl=http://x/w.exe\nExactSize=3\nSha256=" + kAbc +
                      "\nSearchType=0\nVerMin=2.0\nSearchString=[SystemFolder]w.dll\n",
                  {"rt.exe", "app.msi"}),
            0)
      << report.str();
  EXPECT_EQ(Count("warning:"), 0);
  EXPECT_EQ(Count("prerequisites: 2"), 1);
  EXPECT_EQ(Count("App1 \"Runtime\": SetupFile rt.exe"), 1);
  EXPECT_EQ(Count("App2 \"Web\": Url http://x/w.exe"), 1);
  EXPECT_EQ(Count("2.0 or higher"), 1);
  EXPECT_EQ(Count("quiet: yes"), 1);
  EXPECT_EQ(Count("\nlog: [TempFolder]Contoso Setup.log (KORVELT_LOG, when set where the setup runs, wins)\n"), 1);
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

// A download that cannot be saved under its local name, or whose name
// would put it over another download of other content or over the setup
// itself, is refused with one line naming the prerequisite; the same file
// asked for twice, a name made by cutting the query, and a FileName are not.
TEST_F(ConfigCheckTest, DownloadsThatCannotBeSavedAreRefused) {
  const std::string sha = "Sha256=" + std::string(kAbc) + "\n", upperSha = "Sha256=BA7816BF" + std::string(kAbc + 8) + "\n";
  struct Case {
    std::string first, second;  // App1's and App2's keys; App2 is absent when empty
    const char* refusal;        // what the one refusal says; none when null
  } cases[] = {
      {"Url=https://host/fwlink/?linkid=2088631\n", "", "App1 \"A\": its Url https://host/fwlink/?linkid=2088631 ends in no file name"},
      {"Url=https://host/dir/\n", "", "App1 \"A\": its Url https://host/dir/ ends in no file name"},
      {"Url=https://host/a:b.exe\n", "", "App1 \"A\": its download would be saved as \"a:b.exe\", which is no valid Windows file name; give it a FileName="},
      {"Url=https://host/x.exe\nFileName=con.exe\n", "", "saved as \"con.exe\", which is no valid Windows file name; change its FileName="},
      {"Url=https://host/x.exe\nFileName=x.exe.\n", "", "saved as \"x.exe.\", which is no valid"},
      {"Url=https://host/fwlink/?linkid=2088631\nFileName=Runtime.exe\n", "", nullptr},
      {"Url=https://host/setup.exe?token=abc#top\n", "", nullptr},
      {"Url=https://host/contososetup.exe?token=abc\n", "", "App1 \"A\": its download would be saved as \"contososetup.exe\", the setup's own file name"},
      {"Url=https://host/x\nFileName=CONTOSOSETUP.EXE\n", "", "the setup's own file name"},
      {"Url=https://a/vcredist_x86.exe\nExactSize=43494\n", "Url=https://b/VCREDIST_X86.EXE\nExactSize=50494\n",
       "App2 \"B\": its download would be saved as \"VCREDIST_X86.EXE\", the name App1 \"A\" saves other content under"},
      {"Url=https://a/x.exe\n", "Url=https://b/get?x=1\nFileName=X.exe\n", "App2 \"B\": its download would be saved as \"X.exe\", the name App1 \"A\""},
      {"Url=https://a/x.exe\nExactSize=3\n" + sha, "Url=https://a/x.exe\nExactSize=3\n" + upperSha, nullptr},
      {"Url=https://a/x.exe\nExactSize=3\n", "Url=https://a/x.exe\nExactSize=3\n", nullptr},
      {"Url=https://a/x.exe\nExactSize=3\n" + sha, "Url=https://a/x.exe\nExactSize=4\n" + sha, "App2 \"B\""},
      {"Url=https://a/x.exe\nExactSize=3\n" + sha, "Url=https://a/x.exe\nExactSize=3\n", "App2 \"B\""},
      {"Url=https://a/x.exe\nExactSize=3\n", "Url=https://A/x.exe\nExactSize=3\n", "App2 \"B\""},
      // A SetupFile is written into a folder of its own, not the download folder.
      {"SetupFile=x.exe\n", "Url=https://a/x.exe\n", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.first + c.second);
    std::string text = "[PREREQUISITES]\nApp1=A\n" + std::string(c.second.empty() ? "" : "App2=B\n");
    text += "[App1]\n" + c.first + "SearchType=0\nSearchString=s\n";
    if (!c.second.empty()) text += "[App2]\n" + c.second + "SearchType=0\nSearchString=s\n";
    std::ofstream(path, std::ios::binary) << text;
    CheckContext context;
    context.payloadNames = {"x.exe"};
    context.setupName = "ContosoSetup.exe";
    std::ostringstream out;
    std::vector<std::string> refusals = CheckConfiguration(path, context, out).refusals;
    ASSERT_EQ(refusals.size(), c.refusal ? 1u : 0u) << (refusals.empty() ? "" : refusals[0]);
    if (!c.refusal) continue;
    EXPECT_NE(refusals[0].find(c.refusal), std::string::npos) << refusals[0];
    EXPECT_EQ(refusals[0].find('\n'), std::string::npos) << refusals[0];
  }
}

// check refuses, with one line each on stderr and exit code 1, what create
// refuses; --setup names the setup whose file a download may not take.
TEST_F(ConfigCheckTest, CheckRefusesOnStderr) {
  std::ofstream(path, std::ios::binary) << "[PREREQUISITES]\nApp1=A\nApp2=B\n[App1]\nUrl=http://h/dir/\nExactSize=3\n"
                                        << "Sha256=" << kAbc << "\nSearchType=0\nSearchString=s\n[App2]\n"
                                        << "Url=http://h/Setup.exe\nExactSize=3\nSha256=" << kAbc
                                        << "\nSearchType=0\nSearchString=s\n";
  std::ostringstream out, err;
  EXPECT_EQ(Main({"check", path, "--setup", (folder / "setup.exe").string()}, out, err), 1);
  EXPECT_EQ(err.str(),
            "korvelt-pack: App1 \"A\": its Url http://h/dir/ ends in no file name to save the download under; give it "
            "a FileName=\nkorvelt-pack: App2 \"B\": its download would be saved as \"Setup.exe\", the setup's own file "
            "name, in its folder, where downloads go; give it a FileName=\n");
  err.str("");
  EXPECT_EQ(Main({"check", path, "--setup", "other.exe"}, out, err), 1);
  std::string said = err.str();
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

// The report shows each prerequisite's command line and whether it is
// mandatory, and each download's local name, ExactSize and Sha256; it warns
// of a download without ExactSize or Sha256, and of text saved as UTF-8,
// which the setup reads in the users' ANSI code page.
TEST_F(ConfigCheckTest, ReportShowsDownloadsAndWarns) {
  const std::string sha = "Sha256=" + std::string(kAbc) + "\n";
  struct Case {
    std::string name, section;  // App1's display name and its keys
    std::vector<std::string> says;
    int warnings;
    std::string before = "";  // bytes the file begins with
  } cases[] = {
      {"A", "SetupFile=rt.exe\nCommandLine=/quiet /norestart\nOptions=m\n",
       {"\n    command line: /quiet /norestart; mandatory: yes\n"}, 0},
      {"A", "SetupFile=rt.exe\nOptions=M\n",
       {"\n    command line: (none); mandatory: no\n    success codes: 0, 1638, 3010, 1641 (the usual)\n",
        "\nlog: none (KORVELT_LOG, when set where the setup runs, wins)\n"}, 0},
      // The success codes as the setup reads them; what it passes over is
      // warned of.
      {"A", "SetupFile=rt.exe\nSuccessCodes=0, 3010,5100,-1,0x80070BC2\n",
       {"\n    success codes: 0, 3010, 5100, -1, -2147021886\n"}, 0},
      {"A", "SetupFile=rt.exe\nSuccessCodes=0,ok\n",
       {"\n    success codes: 0\n", "warning: App1 \"A\": SuccessCodes \"0,ok\" has 1 entry that is no exit code"}, 1},
      {"A", "SetupFile=rt.exe\nSuccessCodes=none\n",
       {"\n    success codes: 0, 1638, 3010, 1641 (the usual)\n", "they are passed over, and the usual codes apply"}, 1},
      {"A", "Url=https://h/r.exe\nExactSize=3\n" + sha + "SuccessCodes=0\n",
       {"pinned by Sha256\n    success codes: 0\n"}, 0},
      {"A", "Url=https://h/d/Runtime.exe?x=1#top\nExactSize=48128\n" + sha + "CommandLine=/q\n",
       {"\n    command line: /q; mandatory: no\n    download: saved as \"Runtime.exe\"; ExactSize 48128; pinned by Sha256\n"}, 0},
      {"A", "Url=https://h/fwlink/?linkid=1\nFileName=Runtime.exe\nExactSize=3\n" + sha,
       {"download: saved as \"Runtime.exe\"; ExactSize 3; pinned by Sha256\n"}, 0},
      {"A", "Url=https://h/r.exe\n" + sha,
       {"download: saved as \"r.exe\"; no ExactSize; pinned by Sha256\n",
        "warning: App1 \"A\": Url without ExactSize: a server that announces the file's length is refused"}, 1},
      {"A", "Url=https://h/r.exe\nExactSize=3\n",
       {"download: saved as \"r.exe\"; ExactSize 3; not pinned by Sha256\n",
        "warning: App1 \"A\": Url without Sha256: a file replaced on the server, or a resumed file, cannot be verified"}, 1},
      {"A", "Url=https://h/r.exe\n", {"; no ExactSize; not pinned by Sha256\n"}, 2},
      {"A", "Url=https://h/r.exe\nExactSize=3\nSha256=abc\n", {"; ExactSize 3; Sha256 is no digest\n"}, 1},
      {"Contoso f\xC3\xBCr Windows", "SetupFile=rt.exe\n",
       {"warning: line 2 holds UTF-8 text, \"App1=Contoso f\xC3\xBCr Windows\", which reads as \"App1=Contoso "
        "f\xC3\x83\xC2\xBCr Windows\" in Windows-1252"}, 1},
      {"\xE2\x82\xAC 5", "SetupFile=rt.exe\n", {"reads as \"App1=\xC3\xA2\xE2\x80\x9A\xC2\xAC 5\""}, 1},
      {"A", "SetupFile=rt.exe\n", {"warning: the file begins with a UTF-8 byte order mark"}, 1, "\xEF\xBB\xBF"},
      // Text in a code page, an overlong form and a lone byte do not look like UTF-8.
      {"Contoso f\xFCr Windows", "SetupFile=rt.exe\n", {"\"Contoso f\xFCr Windows\""}, 0},
      {"\xC0\xAF \xE0\x80\xAF \xED\xA0\x80 \xC3", "SetupFile=rt.exe\n", {"App1 \""}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.section);
    EXPECT_EQ(Check(c.before + "[PREREQUISITES]\nApp1=" + c.name + "\n[App1]\n" + c.section +
                        "SearchType=0\nSearchString=s\n",
                    {"rt.exe"}),
              c.warnings)
        << report.str();
    for (const std::string& line : c.says) EXPECT_EQ(Count(line), 1) << line << "\nin:\n" << report.str();
    EXPECT_EQ(refusals.size(), 0u);
  }
}

}  // namespace
}  // namespace korvelt::pack
