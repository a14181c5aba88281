#include "install/install.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/sha256_posix.h"
#include "testing/fake_clock.h"
#include "testing/fake_files.h"
#include "testing/fake_http.h"
#include "testing/payload_builder.h"
#include "testing/recording_poster.h"
#include "testing/sha256_vectors.h"
#include "testing/std_threads.h"

namespace korvelt {
namespace {

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

// After the wizard's step everything that was to be installed is
// Installed; the other actions stay.
TEST_F(InstallTest, MarkInstalled) {
  AddAll();
  MarkInstalled(plan);
  const PrereqAction expected[] = {Installed, DontInstall, Installed, NotFound, Installed,
                                   Download,  NotRequired, Installed, Installed, Installed};
  ASSERT_EQ(plan.actions.Count(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(plan.actions[i], expected[i]) << i;
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
  MarkInstalled(plan);
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
