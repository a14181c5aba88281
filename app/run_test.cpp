#include "app/run.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/exit_code.h"
#include "base/little_endian.h"
#include "testing/fake_clock.h"
#include "testing/fake_files.h"
#include "testing/recording_log.h"
#include "testing/payload_builder.h"
#include "testing/recording_host.h"

namespace korvelt {
namespace {

using testing::Bytes;

class ScriptedPhase final : public PrerequisitePhase {
 public:
  PhaseOutcome Run(PayloadArchive& archive, const char* runTitle, const char* runValueName,
                   String* mainParameters) override {
    host->calls.push_back("phase " + std::string(runTitle) + " " + runValueName);
    configOnDisk = files->files.count(archive.configPath().c_str()) > 0;
    mainParameters->Assign(configParameters.c_str());
    PhaseOutcome outcome;
    outcome.skipMain = cancel || restart == RestartNeed::Started;
    outcome.restart = restart;
    return outcome;
  }
  bool ConfiguredLogFile(PayloadArchive&, String* path) override {
    return !logFile.empty() && path->Assign(logFile.c_str());
  }
  bool IsQuiet(PayloadArchive&) override {
    host->calls.push_back("asked quiet");
    return quiet;
  }
  LayoutDownloads DownloadForLayout(PayloadArchive& archive, const char* folder, const char* setupCopy,
                                    String* missing) override {
    host->calls.push_back("layout downloads " + std::string(folder) + " " + setupCopy);
    configOnDisk = files->files.count(archive.configPath().c_str()) > 0;
    missing->Append(missingNames.c_str());
    return layoutDownloads;
  }

  testing::RecordingHost* host = nullptr;
  testing::FakeFileSystem* files = nullptr;
  std::string configParameters;
  bool cancel = false;
  bool quiet = false;
  bool configOnDisk = false;
  RestartNeed restart = RestartNeed::None;
  std::string logFile;  // the configuration's LogFile, expanded
  LayoutDownloads layoutDownloads = LayoutDownloads::Complete;
  std::string missingNames;
};

constexpr char kExe[] = "C:\\Downloads\\setup.exe";
constexpr char kRunFolder[] = "C:\\Temp\\korvelt-0001020304050607\\";

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files.folders = {"C:", "C:\\Temp", "C:\\Downloads", "C:\\Out"};
    phase.host = &host;
    phase.files = &files;
    host.files = &files;
  }
  int RunWith(const char* tail) {
    RunServices services{files, process, NoLeadBytes, host, launcher, phase, log};
    return korvelt::Run(tail, services);
  }
  std::vector<std::string> Calls() const { return host.calls; }

  testing::FakeFileSystem files;
  testing::FakeProcessInfo process;
  testing::RecordingHost host;
  testing::RecordingLauncher launcher{files, host.calls};
  ScriptedPhase phase;
  testing::RecordingLog logSink;
  testing::FakeClock clock;
  RunLog log{logSink, clock};
};

// A payload without prerequisites: extract under the status window, remove
// the Run value, launch, remove it again, clean up; the package's exit code.
TEST_F(RunTest, NormalRunInOrder) {
  files.files[kExe] = testing::WorkedPayload();
  launcher.exitCodeToGive = 3010;
  EXPECT_EQ(RunWith(""), 3010);
  std::string package = std::string(kRunFolder) + "Product1.0.msi";
  EXPECT_EQ(Calls(), (std::vector<std::string>{"start", "status Product Setup 141", "close status",
                                                std::string("unregister ") + kExe, "launch " + package + " []",
                                                std::string("unregister ") + kExe, "end"}));
  EXPECT_TRUE(launcher.launchSaw);
  EXPECT_EQ(files.files.size(), 1u) << "every extracted file is gone";
  EXPECT_TRUE(files.folders.count("C:\\Temp\\korvelt-0001020304050607") == 0);
}

// The command tail reaches the package unchanged.
TEST_F(RunTest, CommandTailBecomesTheParameters) {
  files.files[kExe] = testing::WorkedPayload();
  EXPECT_EQ(RunWith("/qn PROP=\"a b\""), 0);
  EXPECT_EQ(Calls()[4], std::string("launch ") + kRunFolder + "Product1.0.msi [/qn PROP=\"a b\"]");
}

// A payload that cannot be opened shows one message and runs nothing else.
TEST_F(RunTest, PayloadErrorShowsOneMessage) {
  Bytes payload = testing::WorkedPayload(HasPrerequisites);
  StoreLe32(payload.data() + payload.size() - kFooterSize + kFooterVersionAt, 101);
  files.files[kExe] = payload;
  EXPECT_EQ(RunWith("/qn"), ExitPackageOpenFailed);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"start", "error 6"}));
  EXPECT_EQ(files.files.size(), 1u);
}

TEST_F(RunTest, MissingTempFolderIsReported) {
  files.files[kExe] = testing::WorkedPayload();
  process.hasTempFolder = false;
  EXPECT_EQ(RunWith(""), ExitPackageOpenFailed);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"start", "error 4"}));
}

// Without a product name the title is the path followed by " Setup",
// whether the version information could be read or not.
TEST_F(RunTest, TitleFallsBackToThePath) {
  struct Case {
    const char* productName;
    bool versionRead;
    std::string title;
  };
  for (const Case& c : {Case{"", true, std::string(kExe) + " Setup"}, Case{"", false, std::string(kExe) + " Setup"},
                        Case{"Product", false, std::string(kExe) + " Setup"},
                        Case{"Product", true, "Product Setup"}}) {
    files.files.clear();
    files.files[kExe] = testing::WorkedPayload();
    host.calls.clear();
    host.productName = c.productName;
    host.versionRead = c.versionRead;
    RunWith("");
    EXPECT_EQ(Calls()[1], "status " + c.title + " 141") << c.productName << " " << c.versionRead;
  }
}

// The phase runs with the configuration on disk; its parameters go to the
// package unless the command tail replaces them.
TEST_F(RunTest, PrerequisitePhaseGivesTheParameters) {
  std::vector<testing::TestEntry> entries = testing::WorkedEntries();
  entries.push_back({PrereqConfig, "Product1.0.ini", Bytes{'x'}});
  files.files[kExe] = testing::BuildPayload(77824, entries, HasPrerequisites);
  phase.configParameters = "/qb";
  EXPECT_EQ(RunWith(""), 0);
  EXPECT_TRUE(phase.configOnDisk);
  EXPECT_EQ(Calls()[1], std::string("phase Product Setup ") + kExe);
  EXPECT_EQ(Calls()[5], std::string("launch ") + kRunFolder + "Product1.0.msi [/qb]");

  host.calls.clear();
  EXPECT_EQ(RunWith("/qn"), 0);
  EXPECT_EQ(Calls()[5], "launch C:\\Temp\\korvelt-08090a0b0c0d0e0f\\Product1.0.msi [/qn]");
  EXPECT_EQ(files.files.size(), 1u);
}

// A setup whose lock another run holds changes nothing: no phase, no Run
// value, nothing launched or left behind, and 1618; the user is told unless
// the configuration asks for the quiet run. The lock is the setup's own
// file's.
TEST_F(RunTest, SecondRunOfTheSameSetupChangesNothing) {
  struct Case {
    const char* name;
    uint32_t options;
    bool quiet;
    std::vector<std::string> calls;
  } cases[] = {
      {"no prerequisites", 0, false, {"start", "already running Product Setup", "end"}},
      {"interactive", HasPrerequisites, false, {"start", "asked quiet", "already running Product Setup", "end"}},
      {"quiet", HasPrerequisites, true, {"start", "asked quiet", "end"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<testing::TestEntry> entries = testing::WorkedEntries();
    entries.push_back({PrereqConfig, "Product1.0.ini", Bytes{'x'}});
    files.files.clear();
    files.files[kExe] = testing::BuildPayload(77824, entries, c.options);
    host.calls.clear();
    host.alreadyRunning = true;
    phase.quiet = c.quiet;
    EXPECT_EQ(RunWith(""), ExitAlreadyRunning);
    EXPECT_EQ(Calls(), c.calls);
    EXPECT_EQ(host.claimed, kExe);
    EXPECT_EQ(files.files.size(), 1u);
  }
}

// Layout mode: the folder made level by level, the setup copied under its
// own name (not over itself, nor over an identical copy), the downloads
// left to the phase; its outcome is the exit code, and a box names what
// failed unless the run is quiet. Nothing is installed, no Run value is
// touched, and the run's own folder is gone afterwards.
TEST_F(RunTest, LayoutMode) {
  const std::string deep = "C:\\Out\\a b\\c\\";
  const std::string made = "make folder C:\\Out\\a b";
  struct Case {
    const char* name;
    const char* tail;
    uint32_t options;
    bool quiet;
    LayoutDownloads downloads;
    std::function<void()> prepare;
    int code;
    std::vector<std::string> calls;  // between "start" and "end"
    bool copied;                     // the copy holds the setup afterwards
  } cases[] = {
      {"a new folder, two levels deep", "/layout:\"C:\\Out\\a b\\c\" /qn", HasPrerequisites, false,
       LayoutDownloads::Complete, [] {}, 0,
       {"asked quiet", "make folder C:", "make folder C:\\Out", made, made + "\\c",
        "layout downloads " + deep + " " + deep + "setup.exe"}, true},
      {"a relative folder", "/layout:lay", 0, false, LayoutDownloads::Complete, [] {}, 0,
       {"make folder C:", "make folder C:\\Work", "make folder C:\\Work\\lay"}, true},
      {"the setup's own folder", "/layout:C:\\Downloads /extract:C:\\Out", HasPrerequisites, false,
       LayoutDownloads::Complete, [&] { files.failCreate.insert(kExe); }, 0,
       {"asked quiet", "make folder C:", "make folder C:\\Downloads",
        "layout downloads C:\\Downloads\\ C:\\Downloads\\setup.exe"}, true},
      {"an identical copy there", "/layout:C:\\Out", 0, false, LayoutDownloads::Complete,
       [&] {
         files.files["C:\\Out\\setup.exe"] = files.files[kExe];
         files.failCreate.insert("C:\\Out\\setup.exe");
       }, 0, {"make folder C:", "make folder C:\\Out"}, true},
      {"another file of that name", "/layout:C:\\Out", 0, false, LayoutDownloads::Complete,
       [&] { files.files["C:\\Out\\setup.exe"] = Bytes(files.files[kExe].size(), 7); }, 0,
       {"make folder C:", "make folder C:\\Out"}, true},
      {"no folder", "/layout:C:\\Out\\x", HasPrerequisites, false, LayoutDownloads::Complete,
       [&] { host.failFolders.insert("C:\\Out\\x"); }, ExitWriteFault,
       {"asked quiet", "make folder C:", "make folder C:\\Out", "make folder C:\\Out\\x",
        "layout failure Product Setup: The folder C:\\Out\\x\\ cannot be created."}, false},
      {"no folder, quiet", "/layout:C:\\Out\\x", HasPrerequisites, true, LayoutDownloads::Complete,
       [&] { host.failFolders.insert("C:\\Out\\x"); }, ExitWriteFault,
       {"asked quiet", "make folder C:", "make folder C:\\Out", "make folder C:\\Out\\x"}, false},
      {"no copy", "/layout:C:\\Out", HasPrerequisites, false, LayoutDownloads::Complete,
       [&] { files.writeCapacity = static_cast<long long>(files.files[kExe].size()) - 10; }, ExitWriteFault,
       {"asked quiet", "make folder C:", "make folder C:\\Out",
        "layout failure Product Setup: The setup cannot be copied into C:\\Out\\."}, false},
      {"downloads missing", "/layout:C:\\Out", HasPrerequisites, false, LayoutDownloads::Incomplete, [] {},
       ExitLayoutIncomplete,
       {"asked quiet", "make folder C:", "make folder C:\\Out",
        "layout downloads C:\\Out\\ C:\\Out\\setup.exe",
        "layout failure Product Setup: The layout in C:\\Out\\ is incomplete. These prerequisites could not be "
        "downloaded:\n\nRuntime\nFonts\n"}, true},
      {"downloads missing, quiet", "/layout:C:\\Out", HasPrerequisites, true, LayoutDownloads::Incomplete, [] {},
       ExitLayoutIncomplete,
       {"asked quiet", "make folder C:", "make folder C:\\Out", "layout downloads C:\\Out\\ C:\\Out\\setup.exe"},
       true},
      {"downloads cancelled", "/layout:C:\\Out", HasPrerequisites, false, LayoutDownloads::Cancelled, [] {},
       ExitUserCancelled,
       {"asked quiet", "make folder C:", "make folder C:\\Out", "layout downloads C:\\Out\\ C:\\Out\\setup.exe"},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<testing::TestEntry> entries = testing::WorkedEntries();
    entries.push_back({PrereqConfig, "Product1.0.ini", Bytes{'x'}});
    files = testing::FakeFileSystem();
    files.folders = {"C:", "C:\\Temp", "C:\\Downloads", "C:\\Work"};
    files.files[kExe] = testing::BuildPayload(77824, entries, c.options);
    host.calls.clear();
    host.failFolders.clear();
    phase.quiet = c.quiet;
    phase.layoutDownloads = c.downloads;
    phase.missingNames = "Runtime\nFonts\n";
    phase.configOnDisk = false;
    c.prepare();
    const Bytes setup = files.files[kExe];
    EXPECT_EQ(RunWith(c.tail), c.code);
    std::vector<std::string> calls = {"start"};
    calls.insert(calls.end(), c.calls.begin(), c.calls.end());
    calls.push_back("end");
    EXPECT_EQ(Calls(), calls);
    EXPECT_EQ(host.claimed, kExe);
    if (c.options & HasPrerequisites && c.code != ExitWriteFault) {
      EXPECT_TRUE(phase.configOnDisk);
    }
    // What is left: the setup, and its copy where one was to be made.
    size_t left = 0;
    for (const auto& [path, bytes] : files.files) {
      EXPECT_EQ(path.find("korvelt-"), std::string::npos) << path;
      if (path != kExe && bytes == setup) ++left;
    }
    bool ownFolder = std::string(c.tail).find("Downloads") != std::string::npos;
    EXPECT_EQ(left, c.copied && !ownFolder ? 1u : 0u);
    EXPECT_TRUE(files.files[kExe] == setup);
    EXPECT_EQ(files.openHandles(), 0);
  }
}

// Only a tail that starts with the switch makes a layout; anywhere else the
// tail is the package's, as any other.
TEST_F(RunTest, LayoutSwitchOnlyAtTheStart) {
  files.files[kExe] = testing::WorkedPayload();
  EXPECT_EQ(RunWith("/qn /layout:C:\\Out"), 0);
  EXPECT_EQ(Calls()[4], std::string("launch ") + kRunFolder + "Product1.0.msi [/qn /layout:C:\\Out]");
  host.calls.clear();
  EXPECT_EQ(RunWith("/layout:x"), 0) << "fewer than two characters name no folder";
  EXPECT_EQ(Calls()[4], "launch C:\\Temp\\korvelt-08090a0b0c0d0e0f\\Product1.0.msi [/layout:x]");
}

// A cancelled wizard: nothing extracted or launched, the Run value removed,
// the configuration file deleted, and the cancellation in the exit code.
TEST_F(RunTest, CancelledWizardSkipsTheMainInstallation) {
  std::vector<testing::TestEntry> entries = testing::WorkedEntries();
  entries.push_back({PrereqConfig, "Product1.0.ini", Bytes{'x'}});
  files.files[kExe] = testing::BuildPayload(77824, entries, HasPrerequisites);
  phase.cancel = true;
  EXPECT_EQ(RunWith("/qn"), ExitUserCancelled);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"start", std::string("phase Product Setup ") + kExe,
                                                std::string("unregister ") + kExe, "end"}));
  EXPECT_EQ(files.files.size(), 1u);
}

// ExternalFiles: no status window, the package beside the bootstrapper,
// nothing extracted or deleted.
TEST_F(RunTest, ExternalFilesLaunchesThePackageBesideTheBootstrapper) {
  process.modulePath = "C:\\Downloads\\N.exe";
  files.files["C:\\Downloads\\N.exe"] = testing::WorkedPayload(ExternalFiles);
  files.files["C:\\Downloads\\N.msi"] = Bytes{1};
  EXPECT_EQ(RunWith(""), 0);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"start", "unregister C:\\Downloads\\N.exe",
                                                "launch C:\\Downloads\\N.msi []", "unregister C:\\Downloads\\N.exe",
                                                "end"}));
  EXPECT_EQ(files.files.size(), 2u);
}

// A package that cannot be started is reported in the exit code only.
TEST_F(RunTest, PackageThatCannotStart) {
  files.files[kExe] = testing::WorkedPayload();
  launcher.starts = false;
  EXPECT_EQ(RunWith(""), ExitPackageOpenFailed);
  EXPECT_EQ(Calls().back(), "end");
  EXPECT_EQ(files.files.size(), 1u);
}

// Extract mode shows nothing and touches no Run value.
TEST_F(RunTest, ExtractModeIsSilent) {
  files.files[kExe] = testing::WorkedPayload();
  EXPECT_EQ(RunWith("/extract:C:\\Out"), 0);
  EXPECT_EQ(Calls(), std::vector<std::string>{"start"});
  EXPECT_EQ(files.files.size(), 3u);
}

// Extract mode's exit codes: payload unreadable, entry unwritable.
TEST_F(RunTest, ExtractModeExitCodes) {
  files.files[kExe] = Bytes(4000, 'M');
  EXPECT_EQ(RunWith("/extract:C:\\Out"), ExitPackageOpenFailed);
  files.files[kExe] = testing::WorkedPayload();
  EXPECT_EQ(RunWith("/extract:C:\\Missing"), ExitWriteFault);
  files.failCreate.insert("C:\\Out\\Data01.cab");
  EXPECT_EQ(RunWith("/extract:\"C:\\Out\""), ExitWriteFault);
  EXPECT_EQ(files.files.count("C:\\Out\\Product1.0.msi"), 1u) << "what was written stays";
}

// What the prerequisites said about a restart and what the main package
// returned make the setup's exit code; a restart under way starts no
// package and keeps the Run value for the run after it.
TEST_F(RunTest, RestartsInTheExitCode) {
  struct Case {
    RestartNeed restart;
    bool cancel;
    uint32_t packageCode;
    int exitCode;
    bool launched;
    bool unregistered;
  } cases[] = {
      {RestartNeed::None, false, 0, 0, true, true},
      {RestartNeed::None, false, 1603, 1603, true, true},
      {RestartNeed::Required, false, 0, ExitRestartRequired, true, true},
      {RestartNeed::Required, false, 1603, 1603, true, true},
      {RestartNeed::Required, false, 3010, 3010, true, true},
      {RestartNeed::Required, true, 0, ExitUserCancelled, false, true},
      {RestartNeed::Started, false, 0, ExitRestartStarted, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.restart) * 10000 + c.packageCode);
    std::vector<testing::TestEntry> entries = testing::WorkedEntries();
    entries.push_back({PrereqConfig, "Product1.0.ini", Bytes{'x'}});
    files.files.clear();
    files.files[kExe] = testing::BuildPayload(77824, entries, HasPrerequisites);
    host.calls.clear();
    phase.restart = c.restart;
    phase.cancel = c.cancel;
    launcher.exitCodeToGive = c.packageCode;
    EXPECT_EQ(RunWith(""), c.exitCode);
    bool launched = false;
    for (const std::string& call : Calls()) launched = launched || call.rfind("launch ", 0) == 0;
    EXPECT_EQ(launched, c.launched);
    EXPECT_EQ(Calls()[Calls().size() - 2] == std::string("unregister ") + kExe, c.unregistered);
    EXPECT_EQ(files.files.size(), 1u) << "the extracted files are gone either way";
  }
}

// A log only when asked for: KORVELT_LOG wins over the configuration's
// LogFile, which is refused when it names the run's own folder; without
// either nothing is opened or written.
TEST_F(RunTest, LogOnlyWhenAskedFor) {
  struct Case {
    const char* environment;
    const char* logFile;
    const char* opened;
  } cases[] = {
      {"", "", nullptr},
      {"C:\\Logs\\mine.log", "", "C:\\Logs\\mine.log"},
      {"C:\\Logs\\mine.log", "C:\\Logs\\author.log", "C:\\Logs\\mine.log"},
      {"", "C:\\Logs\\author.log", "C:\\Logs\\author.log"},
      {"", "C:\\Temp\\KORVELT-0001020304050607\\in.log", nullptr},
      {"", "C:\\Temp\\korvelt-0001020304050607", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.environment) + "|" + c.logFile);
    std::vector<testing::TestEntry> entries = testing::WorkedEntries();
    entries.push_back({PrereqConfig, "Product1.0.ini", Bytes{'x'}});
    files.files.clear();
    files.files[kExe] = testing::BuildPayload(77824, entries, HasPrerequisites);
    process = testing::FakeProcessInfo();
    logSink.opened.clear();
    logSink.lines.clear();
    RunLog fresh(logSink, clock);
    host.environment["KORVELT_LOG"] = c.environment;
    phase.logFile = c.logFile;
    RunServices services{files, process, NoLeadBytes, host, launcher, phase, fresh};
    EXPECT_EQ(korvelt::Run("/qn PROP=1", services), 0);
    if (!c.opened) {
      EXPECT_TRUE(logSink.opened.empty());
      EXPECT_TRUE(logSink.lines.empty());
      continue;
    }
    EXPECT_EQ(logSink.opened, std::vector<std::string>{c.opened});
    std::vector<std::string> texts = logSink.Texts();
    ASSERT_GE(texts.size(), 8u);
    EXPECT_EQ(texts[0], std::string("Korvelt 1.0.0 ") + (sizeof(void*) == 8 ? "x64" : "x86"));
    EXPECT_EQ(texts[1], "Windows 6.1.7601 Service Pack 1");
    EXPECT_EQ(texts[2], "command tail \"/qn PROP=1\"");
    EXPECT_EQ(texts[3].rfind("payload of \"C:\\Downloads\\setup.exe\": options 2, 3 entries", 0), 0u) << texts[3];
    EXPECT_EQ(logSink.Find("payload entry \"Product1.0.ini\""), "payload entry \"Product1.0.ini\": kind 3, 1 bytes");
    EXPECT_EQ(logSink.Find("main package \""), std::string("main package \"") +
                                                  "C:\\Temp\\korvelt-0001020304050607\\Product1.0.msi\" \"/qn PROP=1\" starting");
    EXPECT_EQ(logSink.Find("main package exit"), "main package exit code 0 after 0.000 s");
    EXPECT_NE(logSink.Find("clean-up: "), "");
    EXPECT_EQ(texts.back(), "exit code 0");
  }
}

}  // namespace
}  // namespace korvelt
