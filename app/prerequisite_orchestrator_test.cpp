#include "app/prerequisite_orchestrator.h"

#include <gtest/gtest.h>

#include <string.h>

#include "app/exit_code.h"
#include "prereq/profile_text.h"
#include "testing/fake_clock.h"
#include "testing/fake_file_tree.h"
#include "testing/fake_files.h"
#include "testing/fake_http.h"
#include "testing/fake_registry.h"
#include "testing/fake_system_folders.h"
#include "testing/payload_builder.h"
#include "testing/plan_dump.h"
#include "testing/recording_poster.h"
#include "testing/recording_host.h"
#include "testing/recording_log.h"
#include "testing/std_threads.h"

namespace korvelt {
namespace {

using testing::Bytes;

// A wizard that writes the plan it was given into the run's log and ends
// as it is told.
class RecordingWizard final : public Wizard {
 public:
  explicit RecordingWizard(std::vector<std::string>& calls) : calls_(calls) {}
  WizardOutcome Run(PrereqPlan& plan) override {
    calls_.push_back("wizard " + testing::DumpPlan(plan));
    return outcome;
  }
  WizardOutcome outcome = WizardOutcome::Finished;

 private:
  std::vector<std::string>& calls_;
};

constexpr char kExe[] = "C:\\Downloads\\setup.exe";
constexpr char kConfig[] =
    "[GeneralOptions]\r\n"
    "MainAppCmdLine=/qb PROP=\"a b\"\r\n"
    "[PREREQUISITES]\r\n"
    "App1=Runtime\r\n"
    "[App1]\r\n"
    "SetupFile=runtime.exe\r\n"
    "SearchType=2\r\n"
    "VerMin=1.0\r\n"
    "SearchString=HKLM\\Software\\Vendor\\Runtime\\Version\r\n";

class PrerequisitePhaseTest : public ::testing::Test {
 protected:
  void SetUp() override { files.folders = {"C:", "C:\\Temp", "C:\\Downloads"}; }

  void Install(const std::string& config) {
    std::vector<testing::TestEntry> entries = {{MainPackage, "App.msi", Bytes(100, 1)},
                                               {PrereqConfig, "App.ini", Bytes(config.begin(), config.end())},
                                               {OnDemand, "runtime.exe", Bytes(10, 2)}};
    files.files[kExe] = testing::BuildPayload(4096, entries, HasPrerequisites);
  }

  int RunWith(const char* tail) {
    FileProfileReader profiles(files);
    PrereqServices services{profiles, DetectionServices{tree, registry, tree, folders, NoLeadBytes},
                            OsFamily::NtFamily};
    DownloadServices downloads{http, files, clock, poster, threads, NoLeadBytes};
    InstallServices installs{launcher, threads, poster, NoLeadBytes, nullptr, nullptr, &clock, &services.detection};
    PrerequisiteOrchestrator phase(host, services, downloads, installs, wizard, &log);
    RunServices run{files, process, NoLeadBytes, host, launcher, phase, log};
    return korvelt::Run(tail, run);
  }

  testing::FakeFileSystem files;
  testing::FakeProcessInfo process;
  testing::FakeFileTree tree;
  testing::FakeRegistry registry;
  testing::FakeSystemFolders folders;
  testing::RecordingHost host;
  testing::RecordingLauncher launcher{files, host.calls};
  testing::FakeHttpService http;
  testing::FakeClock clock;
  testing::RecordingPoster poster;
  testing::StdThreadService threads;
  RecordingWizard wizard{host.calls};
  testing::RecordingLog logSink;
  RunLog log{logSink, clock};
};

// Every prerequisite present: "Preparing...", no Run value, and the
// configuration's command line for the package.
TEST_F(PrerequisitePhaseTest, EverythingPresentGoesStraightToThePackage) {
  Install(kConfig);
  registry.SetValue(RegistryRoot::LocalMachine, "Software\\Vendor\\Runtime", "Version", "2.0");
  EXPECT_EQ(RunWith(""), 0);
  std::string folder = "C:\\Temp\\korvelt-0001020304050607\\";
  EXPECT_EQ(host.calls, (std::vector<std::string>{"start", "status Product Setup 0", "close status",
                                                    "status Product Setup 141", "close status",
                                                    std::string("unregister ") + kExe,
                                                    "launch " + folder + "App.msi [/qb PROP=\"a b\"]",
                                                    std::string("unregister ") + kExe, "end"}));
  EXPECT_EQ(registry.valuesRead.size(), 1u);
  EXPECT_EQ(files.files.size(), 1u) << "the configuration is deleted with the rest";
}

// The command tail replaces the configuration's command line.
TEST_F(PrerequisitePhaseTest, CommandTailWins) {
  Install(kConfig);
  registry.SetValue(RegistryRoot::LocalMachine, "Software\\Vendor\\Runtime", "Version", "2.0");
  EXPECT_EQ(RunWith("/qn"), 0);
  EXPECT_NE(host.calls[6].find("App.msi [/qn]"), std::string::npos) << host.calls[6];
}

// A prerequisite to install: the Run value is written before the wizard
// runs, and removed before the package is launched.
TEST_F(PrerequisitePhaseTest, WorkToDoRegistersTheRestart) {
  Install(kConfig);
  registry.SetValue(RegistryRoot::LocalMachine, "Software\\Vendor\\Runtime", "Version", "0.9");
  EXPECT_EQ(RunWith(""), 0);
  ASSERT_GE(host.calls.size(), 6u);
  EXPECT_EQ(host.calls[2], "close status");
  EXPECT_EQ(host.calls[3], std::string("register ") + kExe);
  EXPECT_EQ(host.calls[4], "wizard folder C:\\Downloads\\\nactions Install");
  EXPECT_EQ(host.calls[5], "status Product Setup 141");
}

// A configuration without prerequisites, or one that cannot be read,
// leaves the package to install without parameters.
TEST_F(PrerequisitePhaseTest, EmptyOrUnreadableConfiguration) {
  for (std::string config : {std::string(), std::string("\xff\xfe garbage \0 [", 14)}) {
    files.files.clear();
    host.calls.clear();
    Install(config);
    EXPECT_EQ(RunWith(""), 0);
    ASSERT_EQ(host.calls.size(), 9u);
    const std::string& launch = host.calls[6];
    EXPECT_EQ(launch.substr(launch.size() - 11), "\\App.msi []") << launch;
  }
}

// A quiet setup: one prerequisite from the payload, one whose file lies
// beside the setup already, one downloaded, one whose server answers 404.
// Each is installed in configuration order with its command line, the
// failed one is skipped, and then the main package is installed; the Run
// value is written first and gone before the package starts.
constexpr char kQuietConfig[] =
    "[GeneralOptions]\r\nOptions=q\r\n"
    "[PREREQUISITES]\r\nApp1=Runtime\r\nApp2=Fonts\r\nApp3=Codec\r\nApp4=Gone\r\n"
    "[App1]\r\nSetupFile=runtime.exe\r\nCommandLine=/quiet\r\nSearchType=1\r\nSearchString=HKCU\\Software\\R\r\n"
    "[App2]\r\nUrl=http://host/fonts.exe\r\nExactSize=5\r\nSearchType=1\r\nSearchString=HKCU\\Software\\F\r\n"
    "[App3]\r\nUrl=http://host/dl/codec.exe\r\nExactSize=9000\r\nCommandLine=/S /v\r\nSearchType=1\r\n"
    "SearchString=HKCU\\Software\\C\r\n"
    "[App4]\r\nUrl=http://host/gone.exe\r\nExactSize=3\r\nSearchType=1\r\nSearchString=HKCU\\Software\\G\r\n";

// The quiet run keeps every box away from then on, downloads, runs each
// program in order, then the package.
TEST_F(PrerequisitePhaseTest, QuietRunDownloadsAndInstallsBeforeThePackage) {
  Install(kQuietConfig);
  files.files["C:\\Downloads\\fonts.exe"] = Bytes(5, 7);
  http.resources["http://host/dl/codec.exe"].body = Bytes(9000, 3);
  http.resources["http://host/gone.exe"].status = 404;
  EXPECT_EQ(RunWith(""), 0);
  std::string folder = "C:\\Temp\\korvelt-0001020304050607\\";
  EXPECT_EQ(host.calls, (std::vector<std::string>{"start", "status Product Setup 0", "close status",
                                                    std::string("register ") + kExe, "quiet",
                                                    "launch " + folder + "runtime.exe [/quiet]",
                                                    "launch C:\\Downloads\\fonts.exe []",
                                                    "launch C:\\Downloads\\codec.exe [/S /v]",
                                                    "status Product Setup 141", "close status",
                                                    std::string("unregister ") + kExe, "launch " + folder + "App.msi []",
                                                    std::string("unregister ") + kExe, "end"}));
  EXPECT_EQ(http.calls, (std::vector<std::string>{"session", "GET http://host/dl/codec.exe", "GET http://host/gone.exe"}));
  EXPECT_TRUE(files.files["C:\\Downloads\\codec.exe"] == Bytes(9000, 3));
  EXPECT_EQ(threads.open(), 0);
  EXPECT_EQ(http.openHandles(), 0);
}

// Without any network every download ends NotFound; the payload's
// prerequisite still runs, and so does the main package.
TEST_F(PrerequisitePhaseTest, QuietRunWithoutNetwork) {
  Install(kQuietConfig);
  http.sessionFails = true;
  EXPECT_EQ(RunWith(""), 0);
  std::vector<std::string> launches;
  for (const std::string& call : host.calls) {
    if (call.rfind("launch ", 0) == 0) launches.push_back(call.substr(call.rfind('\\') + 1));
  }
  EXPECT_EQ(launches, (std::vector<std::string>{"runtime.exe [/quiet]", "App.msi []"}));
}

// Without the quiet option the phase downloads and installs nothing
// itself: the Run value is written, the wizard gets the plan, reconciled
// with the setup's folder, and once it is finished the main package follows.
TEST_F(PrerequisitePhaseTest, WithoutQuietTheWizardRuns) {
  std::string config = kQuietConfig;
  config.replace(config.find("Options=q"), 9, "Options=x");
  Install(config);
  files.files["C:\\Downloads\\fonts.exe"] = Bytes(5, 7);
  http.resources["http://host/dl/codec.exe"].body = Bytes(9000, 3);
  EXPECT_EQ(RunWith(""), 0);
  EXPECT_TRUE(http.calls.empty());
  ASSERT_GE(host.calls.size(), 6u);
  EXPECT_EQ(host.calls[3], std::string("register ") + kExe);
  EXPECT_EQ(host.calls[4], "wizard folder C:\\Downloads\\\nactions Install InstallExisting Download Download");
  EXPECT_EQ(host.calls[5], "status Product Setup 141");
  EXPECT_EQ(host.calls[host.calls.size() - 3].substr(0, 7), "launch ");
}

// A cancelled wizard ends the run with 1602: nothing more is extracted or
// launched, the Run value is gone and every extracted file deleted.
TEST_F(PrerequisitePhaseTest, CancelledWizardSkipsThePackage) {
  std::string config = kQuietConfig;
  config.replace(config.find("Options=q"), 9, "Options=");
  Install(config);
  wizard.outcome = WizardOutcome::Cancelled;
  EXPECT_EQ(RunWith(""), ExitUserCancelled);
  ASSERT_EQ(host.calls.size(), 7u);
  EXPECT_EQ(host.calls[3], std::string("register ") + kExe);
  EXPECT_EQ(host.calls[4].substr(0, 7), "wizard ");
  EXPECT_EQ(host.calls[5], std::string("unregister ") + kExe);
  EXPECT_EQ(host.calls[6], "end");
  EXPECT_EQ(files.files.size(), 1u) << "only the setup itself is left";
  EXPECT_TRUE(http.calls.empty());
}

// A second start asks the configuration alone whether to tell the user:
// the quiet one ends without a box, and neither runs a search.
TEST_F(PrerequisitePhaseTest, SecondStartReadsOnlyTheQuietOption) {
  for (bool quiet : {false, true}) {
    SCOPED_TRACE(quiet ? "quiet" : "interactive");
    Install(quiet ? kQuietConfig : kConfig);
    host.calls.clear();
    host.alreadyRunning = true;
    registry.opened.clear();
    EXPECT_EQ(RunWith(""), ExitAlreadyRunning);
    std::vector<std::string> expected = {"start", "end"};
    if (!quiet) expected.insert(expected.begin() + 1, "already running Product Setup");
    EXPECT_EQ(host.calls, expected);
    EXPECT_TRUE(registry.opened.empty());
  }
}

// The quiet run reads each program's exit code: a failure, or a success
// after which the prerequisite is still not found, is Failed and leaves
// the setup's exit code to the main package; 3010 turns the package's 0
// into 3010; 1641 runs nothing more, keeps the Run value and ends with
// 1641. The log tells each program, its code and its verdict.
TEST_F(PrerequisitePhaseTest, QuietRunReadsExitCodes) {
  struct Case {
    uint32_t runtimeCode;
    bool runtimeLeavesItsKey;
    int exitCode;
    const char* verdict;
    bool packageLaunched;
  } cases[] = {
      {0, true, 0, "a success code, present: Installed", true},
      {1603, true, 0, "a failure code, present: Failed", true},
      {0, false, 0, "a success code, not present: Failed", true},
      {3010, false, ExitRestartRequired, "a success code, not present: Failed", true},
      {1641, true, ExitRestartStarted, "a success code, present: Installed", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.runtimeCode);
    files.files.clear();
    host.calls.clear();
    logSink.lines.clear();
    registry = testing::FakeRegistry();
    host.environment["KORVELT_LOG"] = "C:\\setup.log";
    Install(kQuietConfig);
    files.files["C:\\Downloads\\fonts.exe"] = Bytes(5, 7);
    http.resources["http://host/dl/codec.exe"].body = Bytes(9000, 3);
    launcher.onLaunch = [this, &c](const std::string& path) {
      if (c.runtimeLeavesItsKey && path.find("runtime.exe") != std::string::npos) {
        registry.AddKey(RegistryRoot::CurrentUser, "Software\\R\\1.0");
      }
    };
    launcher.exitCodes = {{"runtime.exe", c.runtimeCode}};
    EXPECT_EQ(RunWith(""), c.exitCode);
    std::vector<std::string> launches;
    for (const std::string& call : host.calls) {
      if (call.rfind("launch ", 0) == 0) launches.push_back(call.substr(call.rfind('\\') + 1));
    }
    std::vector<std::string> expected = {"runtime.exe [/quiet]"};
    if (c.packageLaunched) expected = {"runtime.exe [/quiet]", "fonts.exe []", "codec.exe [/S /v]", "App.msi []"};
    EXPECT_EQ(launches, expected);
    bool unregisteredAtEnd = host.calls[host.calls.size() - 2] == std::string("unregister ") + kExe;
    EXPECT_EQ(unregisteredAtEnd, c.packageLaunched) << "the Run value stays only for a restart under way";
    std::string line = logSink.Find("program App1 ");
    EXPECT_NE(line.find("exit code " + std::to_string(c.runtimeCode) + " after "), std::string::npos) << line;
    EXPECT_EQ(line.substr(line.size() - strlen(c.verdict)), c.verdict) << line;
    EXPECT_EQ(logSink.Texts().back(), "exit code " + std::to_string(c.exitCode));
  }
}

// The log tells each prerequisite's search, what it found and the action
// decided, and each download with its report.
TEST_F(PrerequisitePhaseTest, LogTellsDetectionAndDownloads) {
  host.environment["KORVELT_LOG"] = "C:\\setup.log";
  Install(kQuietConfig);
  files.files["C:\\Downloads\\fonts.exe"] = Bytes(5, 7);
  registry.AddKey(RegistryRoot::CurrentUser, "Software\\R\\0.5");
  http.resources["http://host/dl/codec.exe"].body = Bytes(9000, 3);
  http.resources["http://host/gone.exe"].status = 404;
  RunWith("");
  EXPECT_EQ(logSink.Find("App1 "), "App1 \"Runtime\": search 1 \"HKCU\\Software\\R\" found \"0.5\"; VerMin \"\", "
                                  "VerMax \"\", TargetOS 2; action Don't Install");
  EXPECT_EQ(logSink.Find("App2 "), "App2 \"Fonts\": search 1 \"HKCU\\Software\\F\" found nothing; VerMin \"\", "
                                  "VerMax \"\", TargetOS 2; action Download");
  EXPECT_EQ(logSink.Find("App3 "), "App3 \"Codec\": search 1 \"HKCU\\Software\\C\" found nothing; VerMin \"\", "
                                  "VerMax \"\", TargetOS 2; action Download");
  // The lines' other fields come from the worker's reports (see
  // download/download_log_test.cpp).
  std::string codec = logSink.Find("download App3 ");
  EXPECT_EQ(codec.rfind("download App3 \"Codec\": \"http://host/dl/codec.exe\"", 0), 0u) << codec;
  EXPECT_NE(codec.find("; outcome complete"), std::string::npos) << codec;
  std::string gone = logSink.Find("download App4 ");
  EXPECT_EQ(gone.rfind("download App4 \"Gone\": \"http://host/gone.exe\"", 0), 0u) << gone;
  EXPECT_EQ(gone.find("; outcome complete"), std::string::npos) << gone;
  EXPECT_NE(logSink.Find("download run ended with 0"), "");
}

// The configuration's LogFile, its folder keywords expanded, is where the
// log goes when nobody running the setup asked for one.
TEST_F(PrerequisitePhaseTest, ConfiguredLogFile) {
  std::string config = kConfig;
  config.insert(config.find("[PREREQUISITES]"), "LogFile=[WindowsFolder]Logs\\setup.log\r\n");
  Install(config);
  registry.SetValue(RegistryRoot::LocalMachine, "Software\\Vendor\\Runtime", "Version", "2.0");
  EXPECT_EQ(RunWith(""), 0);
  EXPECT_EQ(logSink.opened, std::vector<std::string>{"C:\\WINDOWS\\Logs\\setup.log"});
  EXPECT_EQ(logSink.Texts().back(), "exit code 0");
}

// A layout fetches every prerequisite with a Url, whatever detection would
// say here and whichever Windows it is for, into the layout's folder, and
// writes out nothing of the payload but the setup; what is complete there
// is not fetched again. A download that fails is named in the box, and the
// exit code tells that the layout is incomplete.
TEST_F(PrerequisitePhaseTest, LayoutFetchesEveryDownloadRegardlessOfDetection) {
  const std::string config =
      "[GeneralOptions]\r\nOptions=q\r\n[PREREQUISITES]\r\nApp1=Runtime\r\nApp2=Present\r\nApp3=Old Windows\r\n"
      "App4=Gone\r\n"
      "[App1]\r\nSetupFile=runtime.exe\r\nSearchType=1\r\nSearchString=HKLM\\Software\\Never\r\n"
      "[App2]\r\nUrl=http://h/two.exe\r\nExactSize=5\r\nSearchType=2\r\n"
      "SearchString=HKLM\\Software\\Vendor\\Runtime\\Version\r\n"
      "[App3]\r\nUrl=http://h/three.exe\r\nExactSize=6\r\nTargetOS=0\r\nSearchType=1\r\n"
      "SearchString=HKLM\\Software\\Never\r\n"
      "[App4]\r\nUrl=http://h/four.exe\r\nExactSize=7\r\nSearchType=1\r\nSearchString=HKLM\\Software\\Never\r\n";
  for (bool quiet : {true, false}) {
    SCOPED_TRACE(quiet ? "quiet" : "with windows");
    files.files.clear();
    files.folders = {"C:", "C:\\Temp", "C:\\Downloads"};
    host.calls.clear();
    http.calls.clear();
    std::string written = config;
    if (!quiet) written.replace(written.find("Options=q"), 9, "Options=");
    Install(written);
    host.files = &files;
    registry.SetValue(RegistryRoot::LocalMachine, "Software\\Vendor\\Runtime", "Version", "2.0");
    http.resources["http://h/two.exe"].body = Bytes(5, 2);
    http.resources["http://h/three.exe"].body = Bytes(6, 3);
    http.resources["http://h/four.exe"].status = 404;
    EXPECT_EQ(RunWith("/layout:C:\\Layout"), ExitLayoutIncomplete);
    EXPECT_TRUE(files.files["C:\\Layout\\two.exe"] == Bytes(5, 2));
    EXPECT_TRUE(files.files["C:\\Layout\\three.exe"] == Bytes(6, 3));
    EXPECT_TRUE(files.files["C:\\Layout\\setup.exe"] == files.files[kExe]);
    EXPECT_EQ(files.files.size(), 4u) << "the setup, its copy and two downloads; nothing else is written";
    EXPECT_EQ(registry.valuesRead.size(), 0u) << "no search runs";
    std::vector<std::string> calls = {"start", "make folder C:", "make folder C:\\Layout"};
    if (!quiet) {
      calls.push_back("layout failure Product Setup: The layout in C:\\Layout\\ is incomplete. These "
                      "prerequisites could not be downloaded:\n\nGone\n");
    }
    calls.push_back("end");
    EXPECT_EQ(host.calls, calls) << "nothing installed, no Run value";
    // Again: only the missing one is asked for.
    http.calls.clear();
    host.calls.clear();
    http.resources["http://h/four.exe"] = testing::FakeResource();
    http.resources["http://h/four.exe"].body = Bytes(7, 4);
    EXPECT_EQ(RunWith("/layout:C:\\Layout"), 0);
    EXPECT_EQ(http.calls, (std::vector<std::string>{"session", "GET http://h/four.exe"}));
    EXPECT_TRUE(files.files["C:\\Layout\\four.exe"] == Bytes(7, 4));
    http.calls.clear();
    EXPECT_EQ(RunWith("/layout:C:\\Layout"), 0);
    EXPECT_EQ(http.calls, std::vector<std::string>()) << "a complete layout asks for nothing";
  }
}

}  // namespace
}  // namespace korvelt
