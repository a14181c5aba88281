#include "install/install.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/sha256_posix.h"
#include "testing/fake_clock.h"
#include "testing/fake_file_tree.h"
#include "testing/fake_registry.h"
#include "testing/fake_system_folders.h"
#include "testing/plan_dump.h"
#include "testing/recording_log.h"
#include "testing/fake_files.h"
#include "testing/fake_http.h"
#include "testing/payload_builder.h"
#include "testing/recording_poster.h"
#include "testing/sha256_vectors.h"
#include "testing/std_threads.h"

namespace korvelt {
namespace {

using testing::ActionName;
using testing::Bytes;

constexpr char kRunFolder[] = "C:\\Temp\\korvelt-0001020304050607\\";

// Writes down every program it is asked to open, with the payload setup
// files that were on disk at that moment.
class ProgramLog final : public ShellLauncher {
 public:
  ProgramLog(testing::FakeFileSystem& files, std::vector<std::string>& log) : files_(files), log_(log) {}
  void StayQuiet() override {}
  bool OpenAndWait(const char* file, const char* parameters, uint32_t* exitCode) override {
    std::string line = "run " + std::string(file) + " [" + parameters + "] with";
    for (const char* name : {"a.exe", "b.exe"}) {
      if (files_.files.count(kRunFolder + std::string(name))) line += std::string(" ") + name;
    }
    log_.push_back(line);
    *exitCode = 1603;  // looked at by nobody
    return starts;
  }
  bool starts = true;

 private:
  testing::FakeFileSystem& files_;
  std::vector<std::string>& log_;
};

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files.folders = {"C:", "C:\\Temp", "C:\\Downloads"};
    Open(0);
    poster.onPost = [this](uint32_t message, uintptr_t index) {
      log.push_back("post " + std::to_string(message) + " " + std::to_string(index));
    };
  }
  void TearDown() override { archive.CleanUp(); }

  void Open(uint32_t options) {
    archive.CleanUp();
    files.files[process.modulePath] = testing::BuildPayload(
        4096, {{MainPackage, "App.msi", Bytes(10, 1)}, {OnDemand, "a.exe", Bytes(3, 2)}, {OnDemand, "b.exe", Bytes(4, 3)}},
        options);
    ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  }
  void Add(const char* name, const char* location, const char* commandLine, PrereqAction action) {
    Prerequisite prerequisite;
    ASSERT_TRUE(prerequisite.DisplayName.Assign(name));
    ASSERT_TRUE(prerequisite.Location.Assign(location));
    ASSERT_TRUE(prerequisite.CommandLine.Assign(commandLine));
    ASSERT_TRUE(list.Prerequisites.Push(static_cast<Prerequisite&&>(prerequisite)));
    ASSERT_TRUE(list.FoundVersions.Push(List<String>()));
    ASSERT_TRUE(list.Actions.Push(DontInstall));
    ASSERT_TRUE(plan.actions.Push(action));
  }
  // One prerequisite for every action, in an order that mixes them.
  void AddAll() {
    plan.prerequisites = &list;
    plan.payload = &archive;
    ASSERT_TRUE(plan.downloads.folder.Assign("C:\\Downloads\\"));
    Add("Runtime", "a.exe", "/quiet", Install);
    Add("Skipped", "http://h/s.exe", "", DontInstall);
    Add("Codec", "http://h/dl/codec.exe", "/S /v", InstallDownloaded);
    Add("Failed", "http://h/f.exe", "", NotFound);
    Add("Fonts", "http://h\\fonts.exe", "", InstallExisting);
    Add("Later", "http://h/l.exe", "", Download);
    Add("Other OS", "c.exe", "", NotRequired);
    Add("Done", "d.exe", "", Installed);
    Add("Extras", "b.exe", "x", Install);
    Add("Not packed", "z.exe", "", Install);
  }
  std::vector<std::string> Entries(const InstallList& entries) {
    std::vector<std::string> texts;
    for (const InstallEntry& entry : entries) {
      texts.push_back(std::string(entry.displayName.c_str()) + ": " + entry.path.c_str() + " [" +
                      entry.parameters.c_str() + "]");
    }
    return texts;
  }

  testing::FakeFileSystem files;
  testing::FakeProcessInfo process;
  PayloadArchive archive{files, process};
  PrerequisiteList list;
  PrereqPlan plan;
  std::vector<std::string> log;
  ProgramLog launcher{files, log};
  testing::StdThreadService threads;
  testing::RecordingPoster poster;
  InstallServices services{launcher, threads, poster, NoLeadBytes};
};

// The list follows the prerequisites' order: payload files from the
// extraction folder, downloaded and existing ones from the download folder,
// nothing for the actions that install nothing.
TEST_F(InstallTest, ListInPrerequisiteOrder) {
  AddAll();
  InstallList entries;
  ASSERT_TRUE(BuildInstallList(plan, NoLeadBytes, &entries));
  EXPECT_EQ(Entries(entries), (std::vector<std::string>{
                                  "Runtime: " + std::string(kRunFolder) + "a.exe [/quiet]",
                                  "Codec: C:\\Downloads\\codec.exe [/S /v]",
                                  "Fonts: C:\\Downloads\\fonts.exe []",
                                  "Extras: " + std::string(kRunFolder) + "b.exe [x]",
                                  "Not packed: " + std::string(kRunFolder) + "z.exe []",
                              }));
  // Every payload file is out before anything runs.
  EXPECT_TRUE(files.files[kRunFolder + std::string("a.exe")] == Bytes(3, 2));
  EXPECT_TRUE(files.files[kRunFolder + std::string("b.exe")] == Bytes(4, 3));
  EXPECT_TRUE(log.empty());
}

// The silent step runs every program on this thread, in order, each after
// all the extractions, with its command line; failures change nothing.
TEST_F(InstallTest, SilentRunsInOrder) {
  AddAll();
  launcher.starts = false;
  EXPECT_EQ(InstallPrerequisites(plan, services, nullptr), 0);
  std::string folder = kRunFolder;
  EXPECT_EQ(log, (std::vector<std::string>{
                     "run " + folder + "a.exe [/quiet] with a.exe b.exe",
                     "run C:\\Downloads\\codec.exe [/S /v] with a.exe b.exe",
                     "run C:\\Downloads\\fonts.exe [] with a.exe b.exe",
                     "run " + folder + "b.exe [x] with a.exe b.exe",
                     "run " + folder + "z.exe [] with a.exe b.exe",
                 }));
  EXPECT_EQ(threads.threadsStarted, 0);
  EXPECT_TRUE(poster.posted().empty());
}

// With the payload's files lying beside the setup, nothing is extracted
// and the programs are taken from there.
TEST_F(InstallTest, ExternalFilesAreNotExtracted) {
  Open(ExternalFiles);
  plan.prerequisites = &list;
  plan.payload = &archive;
  ASSERT_TRUE(plan.downloads.folder.Assign("C:\\Downloads\\"));
  Add("Runtime", "a.exe", "", Install);
  EXPECT_EQ(InstallPrerequisites(plan, services, nullptr), 0);
  EXPECT_EQ(log, std::vector<std::string>{"run C:\\Downloads\\a.exe [] with"});
  EXPECT_EQ(files.files.count(kRunFolder + std::string("a.exe")), 0u);
}

// A dialog that starts the installer and returns at once; the step still
// ends only after the thread.
class StartingDialog final : public InstallDialog {
 public:
  bool Show(InstallRun& run) override {
    started = StartInstaller(run, 0x55);
    return true;
  }
  bool started = false;
};

// The installer thread announces each entry before it runs it, then posts
// IN_ALL_DONE; the step waits for the thread and closes it.
TEST_F(InstallTest, InstallerThreadReportsEachEntry) {
  plan.prerequisites = &list;
  plan.payload = &archive;
  ASSERT_TRUE(plan.downloads.folder.Assign("C:\\Downloads"));
  Add("One", "http://h/1.exe", "", InstallExisting);
  Add("Two", "http://h/2.exe", "-q", InstallDownloaded);
  StartingDialog dialog;
  EXPECT_EQ(InstallPrerequisites(plan, services, &dialog), 0);
  EXPECT_TRUE(dialog.started);
  EXPECT_EQ(log, (std::vector<std::string>{"post 1025 0", "run C:\\Downloads\\1.exe [] with", "post 1025 1",
                                           "run C:\\Downloads\\2.exe [-q] with", "post 1027 0"}));
  for (const testing::PostedMessage& message : poster.posted()) EXPECT_EQ(message.window, 0x55u);
  EXPECT_EQ(threads.open(), 0);
}

// No thread can be made: the dialog runs the entries itself; no window
// could be shown at all: the step runs them on its own thread.
class ThreadlessDialog final : public InstallDialog {
 public:
  explicit ThreadlessDialog(bool shown) : shown_(shown) {}
  bool Show(InstallRun& run) override {
    if (!shown_) return false;
    EXPECT_FALSE(StartInstaller(run, 0x55));
    RunInstallEntries(run);
    run.ran = true;
    return true;
  }

 private:
  bool shown_;
};

TEST_F(InstallTest, EntriesRunOnceWithoutAThread) {
  for (bool shown : {true, false}) {
    SCOPED_TRACE(shown);
    log.clear();
    plan.actions.Clear();
    ASSERT_TRUE(CreatePrerequisiteList("", &list));
    plan.prerequisites = &list;
    plan.payload = &archive;
    ASSERT_TRUE(plan.downloads.folder.Assign("C:\\Downloads\\"));
    Add("One", "http://h/1.exe", "", InstallExisting);
    threads.failThreads = true;
    ThreadlessDialog dialog(shown);
    EXPECT_EQ(InstallPrerequisites(plan, services, &dialog), 0);
    std::vector<std::string> runs;
    for (const std::string& line : log) {
      if (line.rfind("run ", 0) == 0) runs.push_back(line);
    }
    EXPECT_EQ(runs, std::vector<std::string>{"run C:\\Downloads\\1.exe [] with"});
  }
}

// Plays each program as it is told: the exit code it returns, or no
// process at all, and what it leaves in the registry for detection to find.
class ScriptedPrograms final : public ShellLauncher {
 public:
  struct Program {
    bool starts;
    uint32_t exitCode;
    const char* leaves;  // the Version value written under the program's key; null: nothing
  };
  // Each reading of the clock is 1.5 s after the one before.
  ScriptedPrograms(testing::FakeRegistry& registry, testing::FakeClock& clock) : registry_(registry), clock_(clock) {
    clock_.step = 1500;
  }
  void StayQuiet() override {}
  bool OpenAndWait(const char* file, const char*, uint32_t* exitCode) override {
    std::string name = std::string(file).substr(std::string(file).rfind('\\') + 1);
    ran.push_back(name);
    const Program& program = programs.at(name);
    if (program.leaves) registry_.SetValue(RegistryRoot::CurrentUser, "Software\\" + name, "Version", program.leaves);
    *exitCode = program.exitCode;
    return program.starts;
  }
  std::map<std::string, Program> programs;
  std::vector<std::string> ran;

 private:
  testing::FakeRegistry& registry_;
  testing::FakeClock& clock_;
};

// Each program's exit code and what detection finds after it decide its
// row: Installed only for a success that is now found within its versions,
// Failed for any other; a program that gives no process is judged by
// detection alone. 3010 asks for a restart, 1641 ends the step at once,
// leaving what follows as it was. The found texts are replaced, and the
// log tells each program and its verdict.
TEST_F(InstallTest, ExitCodesAndDetectionDecideEachRow) {
  struct Case {
    const char* name;
    const char* successCodes;
    ScriptedPrograms::Program program;
    PrereqAction expected;
    const char* found;
  };
  const std::vector<Case> cases = {
      {"ok.exe", "", {true, 0, "2.0"}, Installed, "2.0"},
      {"fails.exe", "", {true, 1603, "2.0"}, Failed, "2.0"},
      {"same.exe", "", {true, 1638, "2.5"}, Installed, "2.5"},
      {"quiet.exe", "", {true, 0, nullptr}, Failed, ""},
      {"old.exe", "", {true, 0, "1.0"}, Failed, "1.0"},
      {"custom.exe", "0,3010,5100", {true, 5100, "2.0"}, Installed, "2.0"},
      {"strict.exe", "0", {true, 1638, "2.0"}, Failed, "2.0"},
      {"handed.exe", "", {false, 77, "2.0"}, Installed, "2.0"},
      {"lost.exe", "", {false, 0, nullptr}, Failed, ""},
      {"reboot.exe", "", {true, 3010, "2.0"}, Installed, "2.0"},
  };
  testing::FakeRegistry registry;
  testing::FakeFileTree tree;
  testing::FakeSystemFolders folders;
  testing::FakeClock clock;
  DetectionServices detection{tree, registry, tree, folders, NoLeadBytes};
  ScriptedPrograms programs(registry, clock);
  testing::RecordingLog sink;
  RunLog runLog(sink, clock);
  ASSERT_TRUE(runLog.Open("setup.log"));
  InstallServices scripted{programs, threads, poster, NoLeadBytes, nullptr, nullptr, &clock, &detection};
  plan.prerequisites = &list;
  plan.payload = &archive;
  plan.log = &runLog;
  ASSERT_TRUE(plan.downloads.folder.Assign("C:\\Downloads\\"));
  for (const Case& c : cases) {
    Add(c.name, (std::string("http://h/") + c.name).c_str(), "", InstallExisting);
    Prerequisite& added = list.Prerequisites[list.Count() - 1];
    ASSERT_TRUE(added.SuccessCodes.Assign(c.successCodes));
    added.SearchSpec.SearchType = RegistryValueSearch;
    ASSERT_TRUE(added.SearchSpec.SearchString.Assign((std::string("HKCU\\Software\\") + c.name + "\\Version").c_str()));
    ASSERT_TRUE(added.SearchSpec.VerMin.Assign("2.0"));
    programs.programs[c.name] = c.program;
  }
  InstallPrerequisites(plan, scripted, nullptr);
  ASSERT_EQ(programs.ran.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(ActionName(plan.actions[i]), ActionName(cases[i].expected)) << cases[i].name;
    std::string found = list.FoundVersions[i].Empty() ? "" : list.FoundVersions[i][0].c_str();
    EXPECT_EQ(found, cases[i].found) << cases[i].name;
  }
  EXPECT_EQ(plan.restart, RestartNeed::Required);
  EXPECT_EQ(sink.Find("program App2 "),
            "program App2 \"fails.exe\": \"C:\\Downloads\\fails.exe\" \"\" exit code 1603 after 1.500 s; found "
            "afterwards: \"2.0\"; a failure code, present: Failed");
  EXPECT_EQ(sink.Find("program App9 "),
            "program App9 \"lost.exe\": \"C:\\Downloads\\lost.exe\" \"\" gave back no process to wait for; found "
            "afterwards: nothing; a success code, not present: Failed");

}

// 1641: the program has started a restart; nothing after it runs, its own
// row is judged as any other, and the rows after it keep their actions.
TEST_F(InstallTest, RestartStartedEndsTheStep) {
  testing::FakeRegistry registry;
  testing::FakeFileTree tree;
  testing::FakeSystemFolders folders;
  testing::FakeClock clock;
  DetectionServices detection{tree, registry, tree, folders, NoLeadBytes};
  ScriptedPrograms programs(registry, clock);
  programs.programs = {{"a.exe", {true, 3010, "1"}}, {"b.exe", {true, 1641, "1"}}, {"c.exe", {true, 0, "1"}}};
  for (bool withThread : {false, true}) {
    SCOPED_TRACE(withThread);
    ASSERT_TRUE(CreatePrerequisiteList("", &list));
    plan.actions.Clear();
    plan.restart = RestartNeed::None;
    programs.ran.clear();
    plan.prerequisites = &list;
    plan.payload = &archive;
    ASSERT_TRUE(plan.downloads.folder.Assign("C:\\Downloads\\"));
    for (const char* name : {"a.exe", "b.exe", "c.exe"}) {
      Add(name, (std::string("http://h/") + name).c_str(), "", InstallDownloaded);
      list.Prerequisites[list.Count() - 1].SearchSpec.SearchType = RegistryValueSearch;
      ASSERT_TRUE(list.Prerequisites[list.Count() - 1].SearchSpec.SearchString.Assign(
          (std::string("HKCU\\Software\\") + name + "\\Version").c_str()));
    }
    InstallServices scripted{programs, threads, poster, NoLeadBytes, nullptr, nullptr, &clock, &detection};
    StartingDialog dialog;
    InstallPrerequisites(plan, scripted, withThread ? &dialog : nullptr);
    EXPECT_EQ(programs.ran, (std::vector<std::string>{"a.exe", "b.exe"}));
    EXPECT_EQ(ActionName(plan.actions[0]), "Installed");
    EXPECT_EQ(ActionName(plan.actions[1]), "Installed");
    EXPECT_EQ(ActionName(plan.actions[2]), "InstallDownloaded");
    EXPECT_EQ(plan.restart, RestartNeed::Started);
  }
}


// Writes down each program it runs and how many files were open meanwhile.
class HeldFilesLog final : public ShellLauncher {
 public:
  explicit HeldFilesLog(testing::FakeFileSystem& files) : files_(files) {}
  void StayQuiet() override {}
  bool OpenAndWait(const char* file, const char*, uint32_t*) override {
    runs.push_back(std::string(file) + " holding " + std::to_string(files_.openHandles() - before));
    return true;
  }
  std::vector<std::string> runs;
  int before = 0;  // the payload's own file

 private:
  testing::FakeFileSystem& files_;
};

// A download with a Sha256 runs only with that content, held open from its
// digest to its end; other content, a malformed Sha256, no file or no
// service to check with, and it is passed over. A payload program is not
// digested; one without a Sha256 runs as before.
TEST_F(InstallTest, DownloadMustMatchItsSha256) {
  const char* abc = testing::kSha256Vectors[1].hex;
  plan.prerequisites = &list;
  plan.payload = &archive;
  ASSERT_TRUE(plan.downloads.folder.Assign("C:\\Downloads\\"));
  files.files["C:\\Downloads\\right.exe"] = Bytes{'a', 'b', 'c'};
  files.files["C:\\Downloads\\other.exe"] = Bytes{'a', 'b', 'd'};
  for (auto [location, action, text] :
       {std::tuple{"a.exe", Install, abc}, {"http://h/right.exe", InstallDownloaded, abc},
        {"http://h/other.exe", InstallExisting, abc}, {"http://h/right.exe", InstallDownloaded, "-"},
        {"http://h/plain.exe", InstallExisting, ""}, {"http://h/none.exe", InstallDownloaded, abc}}) {
    Add(location, location, "", action);
    ASSERT_TRUE(list.Prerequisites[list.Count() - 1].Sha256.Assign(text));
  }
  HeldFilesLog held(files);
  held.before = files.openHandles();
  PosixSha256Service sha256;
  InstallServices checked{held, threads, poster, NoLeadBytes, &files, &sha256};
  InstallPrerequisites(plan, checked, nullptr);
  EXPECT_EQ(held.runs, (std::vector<std::string>{std::string(kRunFolder) + "a.exe holding 0",
                                                 "C:\\Downloads\\right.exe holding 1",
                                                 "C:\\Downloads\\plain.exe holding 0"}));
  EXPECT_EQ(files.openHandles(), held.before);
  // What was refused shows as Not Found, not as installed.
  const PrereqAction expected[] = {Installed, Installed, NotFound, NotFound, Installed, NotFound};
  ASSERT_EQ(plan.actions.Count(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(plan.actions[i], expected[i]) << i;
  size_t i = 0;
  for (PrereqAction action :
       {Install, InstallDownloaded, InstallExisting, InstallDownloaded, InstallExisting, InstallDownloaded}) {
    plan.actions[i++] = action;
  }
  held.runs.clear();
  checked.sha256 = nullptr;
  InstallPrerequisites(plan, checked, nullptr);
  EXPECT_EQ(held.runs.size(), 2u);
}

}  // namespace
}  // namespace korvelt
