#include "download/plan.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sha256_posix.h"
#include "resources/resource_ids.h"
#include "testing/fake_clock.h"
#include "testing/fake_files.h"
#include "testing/fake_http.h"
#include "testing/payload_builder.h"
#include "testing/plan_dump.h"
#include "testing/recording_poster.h"
#include "testing/sha256_vectors.h"
#include "testing/std_threads.h"

namespace korvelt {
namespace {

using testing::Bytes;

bool LeadBytes(unsigned char byte) { return byte >= 0x81 && byte <= 0x9F; }

class PlanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files.folders = {"C:", "C:\\Temp", "C:\\Downloads", "D:", "D:\\other"};
    files.files[process.modulePath] = testing::BuildPayload(4096, {{MainPackage, "App.msi", Bytes(10, 1)}}, 0);
    ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  }
  void TearDown() override { archive.CleanUp(); }

  // A prerequisite with `action`, fetched from `location` when it is a URL.
  void Add(const char* location, int32_t exactSize, PrereqAction action) {
    Prerequisite prerequisite;
    ASSERT_TRUE(prerequisite.Location.Assign(location));
    ASSERT_TRUE(prerequisite.DisplayName.Assign(location));
    prerequisite.Source = action == Install ? PrereqSource::SetupFile : PrereqSource::Url;
    prerequisite.ExactSize = exactSize;
    ASSERT_TRUE(list.Prerequisites.Push(static_cast<Prerequisite&&>(prerequisite)));
    ASSERT_TRUE(list.FoundVersions.Push(List<String>()));
    ASSERT_TRUE(list.Actions.Push(action));
  }
  std::string Build() {
    EXPECT_TRUE(BuildPlan(archive, list, services, &plan));
    return testing::DumpPlan(plan);
  }

  testing::FakeFileSystem files;
  testing::FakeProcessInfo process;
  testing::FakeHttpService http;
  testing::FakeClock clock;
  testing::RecordingPoster poster;
  testing::StdThreadService threads;
  DownloadServices services{http, files, clock, poster, threads, NoLeadBytes};
  PayloadArchive archive{files, process};
  PrerequisiteList list;
  PrereqPlan plan;
};

// The plan starts from detection's actions and the setup's own folder; a
// file of exactly ExactSize bytes there needs no download, any other size
// does; actions that fetch nothing are not looked at.
TEST_F(PlanTest, BuildReconcilesWithTheSetupsFolder) {
  files.files["C:\\Downloads\\exact.exe"] = Bytes(5, 1);
  files.files["C:\\Downloads\\short.exe"] = Bytes(4, 1);
  files.files["C:\\Downloads\\empty.exe"] = Bytes();
  files.files["C:\\Downloads\\payload.exe"] = Bytes(5, 1);
  Add("http://h/exact.exe", 5, Download);
  Add("http://h/short.exe", 5, Download);
  Add("http://h/missing.exe", 5, Download);
  Add("http://h/empty.exe", 0, Download);  // no ExactSize, an empty file: present
  Add("payload.exe", 5, Install);
  Add("http://h/exact.exe", 5, DontInstall);
  Add("http://h/exact.exe", 5, NotRequired);
  EXPECT_EQ(Build(), "folder C:\\Downloads\\\n"
                     "actions InstallExisting Download Download InstallExisting Install DontInstall NotRequired");
  EXPECT_EQ(plan.prerequisites, &list);
  EXPECT_EQ(plan.payload, &archive);
  // Only the plan's copy changes.
  EXPECT_EQ(list.Actions[0], Download);
}

// The default folder ends at the last whole backslash of the setup's path:
// a trail byte that looks like one does not count.
TEST_F(PlanTest, DefaultFolderStepsWholeCharacters) {
  files.folders.insert("C:\\\x81\\");
  archive.CleanUp();
  process.modulePath = "C:\\\x81\\setup.exe";
  files.files[process.modulePath] = testing::BuildPayload(4096, {{MainPackage, "App.msi", Bytes(10, 1)}}, 0);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  services.isLead = LeadBytes;
  EXPECT_EQ(Build(), "folder C:\\\nactions");
  services.isLead = NoLeadBytes;
  EXPECT_EQ(Build(), "folder C:\\\x81\\\nactions");
}

// Another folder reconciles both ways, and gets its backslash.
TEST_F(PlanTest, SetDownloadFolderReconciles) {
  files.files["C:\\Downloads\\a.exe"] = Bytes(5, 1);
  files.files["D:\\other\\b.exe"] = Bytes(7, 1);
  Add("http://h/a.exe", 5, Download);
  Add("http://h/b.exe", 7, Download);
  Add("http://h/c.exe", 7, NotFound);
  Build();
  ASSERT_TRUE(SetDownloadFolder(plan, "D:\\other", services));
  EXPECT_EQ(testing::DumpPlan(plan), "folder D:\\other\\\nactions Download InstallExisting NotFound");
  ASSERT_TRUE(SetDownloadFolder(plan, "C:\\Downloads\\", services));
  EXPECT_EQ(testing::DumpPlan(plan), "folder C:\\Downloads\\\nactions InstallExisting Download NotFound");
  // A folder of the file's name is no file.
  files.folders.insert("D:\\other\\a.exe");
  files.files.erase("C:\\Downloads\\a.exe");
  ASSERT_TRUE(SetDownloadFolder(plan, "D:\\other\\", services));
  EXPECT_EQ(plan.actions[0], Download);
}

// With a Sha256 a file of the right size is taken only with that content,
// and a malformed Sha256 takes none; the rest is fetched again like a file
// of another size. Only files of the right size are read. Items carry it.
TEST_F(PlanTest, ReconcileChecksTheSha256) {
  PosixSha256Service sha256;
  services.sha256 = &sha256;
  const char* abc = testing::kSha256Vectors[1].hex;
  for (const char* name : {"right", "other", "long", "bad", "plain"}) {
    unsigned char last = name[0] == 'o' ? 'd' : 'c';
    files.files["C:\\Downloads\\" + std::string(name) + ".exe"] = Bytes{'a', 'b', last};
  }
  files.files["C:\\Downloads\\long.exe"].push_back('d');
  for (auto [url, text] : {std::pair{"http://h/right.exe", abc}, {"http://h/other.exe", abc},
                           {"http://h/long.exe", abc}, {"http://h/bad.exe", "-"}, {"http://h/plain.exe", ""}}) {
    Add(url, 3, Download);
    ASSERT_TRUE(list.Prerequisites[list.Count() - 1].Sha256.Assign(text));
  }
  const uint64_t readBefore = files.bytesRead;  // the payload's
  EXPECT_EQ(Build(), "folder C:\\Downloads\\\nactions InstallExisting Download Download Download InstallExisting");
  EXPECT_EQ(files.bytesRead - readBefore, 3u * 3);
  DownloadPrerequisites(plan, services, nullptr);
  EXPECT_STREQ(plan.downloads.items[0].sha256.c_str(), abc);
}

// The silent run fetches the Download actions alone, in order, and turns
// each item's end into an action: an error answer fails its item alone, a
// server that gives no answer stops the run and leaves the rest NotFound.
TEST_F(PlanTest, SilentDownloadsBecomeActions) {
  struct Case {
    const char* name;
    bool answers;  // c.exe answers 404; else no answer comes
    int32_t code;
    const char* dump;
    const char* lastRequest;
  } cases[] = {
      {"404", true, DownloadSucceeded,
       "folder C:\\Downloads\\\n"
       "actions InstallDownloaded Install NotFound NotFound InstallDownloaded\n"
       "item 0 http://h/a.exe 10 Done\n"
       "item 2 http://h/b.exe 9 Failed\n"
       "item 3 http://h/c.exe 10 Failed\n"
       "item 4 http://h/d.exe 10 Done",
       "GET http://h/d.exe"},
      {"no answer", false, DownloadIncomplete,
       "folder C:\\Downloads\\\n"
       "actions InstallDownloaded Install NotFound NotFound NotFound\n"
       "item 0 http://h/a.exe 10 Done\n"
       "item 2 http://h/b.exe 9 Failed\n"
       "item 3 http://h/c.exe 10 Failed\n"
       "item 4 http://h/d.exe 10 Pending",
       "GET http://h/c.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* name : {"a", "b", "c", "d"}) files.files.erase("C:\\Downloads\\" + std::string(name) + ".exe");
    http.resources.clear();
    http.calls.clear();
    list = PrerequisiteList();
    http.resources["http://h/a.exe"].body = Bytes(10, 1);
    http.resources["http://h/b.exe"].body = Bytes(10, 2);
    if (c.answers) http.resources["http://h/c.exe"].status = 404;
    http.resources["http://h/d.exe"].body = Bytes(10, 4);
    Add("http://h/a.exe", 10, Download);
    Add("setup.exe", 10, Install);
    Add("http://h/b.exe", 9, Download);  // the server says 10
    Add("http://h/c.exe", 10, Download);
    Add("http://h/d.exe", 10, Download);
    Build();
    EXPECT_EQ(DownloadPrerequisites(plan, services, nullptr), c.code);
    EXPECT_EQ(testing::DumpPlan(plan), c.dump);
    EXPECT_TRUE(files.files["C:\\Downloads\\a.exe"] == Bytes(10, 1));
    EXPECT_EQ(http.calls.back(), c.lastRequest);
  }
}

// Which downloads can be saved in the folder: a name Windows stores as
// written, not the setup's own file, and none an earlier download of
// another address, size or digest already takes (names compared as the
// folder compares them). The same download twice shares its file.
TEST_F(PlanTest, DownloadPathsNeverShareAFileBetweenTwoDownloads) {
  struct Entry {
    const char* location;
    const char* fileName;
    int32_t exactSize;
    const char* sha256;
    bool payloadFile;
  };
  struct Case {
    const char* name;
    std::vector<Entry> entries;
    const char* folder;  // nullptr: the setup's own
    std::vector<std::string> paths;  // "" where none
  } cases[] = {
      {"two names", {{"http://a/x.exe", "", 10, "", false}, {"http://b/y.exe", "", 10, "", false}}, nullptr,
       {"C:\\Downloads\\x.exe", "C:\\Downloads\\y.exe"}},
      {"one name, two servers", {{"http://a/vc.exe", "", 10, "", false}, {"http://b/vc.exe", "", 12, "", false}},
       nullptr, {"C:\\Downloads\\vc.exe", ""}},
      {"in another case", {{"http://a/Vc.EXE", "", 10, "", false}, {"http://b/vc.exe", "", 10, "", false}},
       nullptr, {"C:\\Downloads\\Vc.EXE", ""}},
      {"same address, other size", {{"http://a/vc.exe", "", 10, "", false}, {"http://a/vc.exe", "", 11, "", false}},
       nullptr, {"C:\\Downloads\\vc.exe", ""}},
      {"same address, other digest", {{"http://a/vc.exe", "", 10, "aa", false}, {"http://a/vc.exe", "", 10, "bb", false}},
       nullptr, {"C:\\Downloads\\vc.exe", ""}},
      {"the same download twice", {{"http://a/vc.exe", "", 10, "AB", false}, {"http://a/vc.exe", "", 10, "ab", false}},
       nullptr, {"C:\\Downloads\\vc.exe", "C:\\Downloads\\vc.exe"}},
      {"a FileName apart", {{"http://a/vc.exe", "", 10, "", false}, {"http://b/vc.exe", "b.exe", 12, "", false}},
       nullptr, {"C:\\Downloads\\vc.exe", "C:\\Downloads\\b.exe"}},
      {"a FileName onto another", {{"http://a/a.exe", "", 10, "", false}, {"http://b/b.exe", "A.exe", 12, "", false}},
       nullptr, {"C:\\Downloads\\a.exe", ""}},
      {"a payload file of that name", {{"setup2.exe", "", 10, "", true}, {"http://b/setup2.exe", "", 12, "", false}},
       nullptr, {"", "C:\\Downloads\\setup2.exe"}},
      {"the setup itself", {{"http://a/SETUP.exe", "", 10, "", false}}, nullptr, {""}},
      {"the setup's name elsewhere", {{"http://a/setup.exe", "", 10, "", false}}, "D:\\other",
       {"D:\\other\\setup.exe"}},
      {"no name", {{"http://a/fwlink/?id=1", "", 10, "", false}, {"http://a/fwlink/?id=1", "vc.exe", 10, "", false}},
       nullptr, {"", "C:\\Downloads\\vc.exe"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    list = PrerequisiteList();
    for (const Entry& entry : c.entries) {
      Add(entry.location, entry.exactSize, entry.payloadFile ? Install : Download);
      Prerequisite& added = list.Prerequisites[list.Count() - 1];
      added.Source = entry.payloadFile ? PrereqSource::SetupFile : PrereqSource::Url;
      ASSERT_TRUE(added.FileName.Assign(entry.fileName));
      ASSERT_TRUE(added.Sha256.Assign(entry.sha256));
    }
    Build();
    if (c.folder) {
      ASSERT_TRUE(SetDownloadFolder(plan, c.folder, services));
    }
    for (size_t i = 0; i < c.entries.size(); ++i) {
      if (c.entries[i].payloadFile) continue;
      String path;
      bool formed = DownloadPath(plan, i, NoLeadBytes, &path);
      EXPECT_EQ(formed ? std::string(path.c_str()) : std::string(), c.paths[i]) << i;
    }
  }
}

// A layout plans every Url, whatever detection decided, and nothing from
// the payload; a complete file in the layout's folder is not fetched; a
// download named as the setup's copy there has no path. What is not
// complete afterwards is named, in list order.
TEST_F(PlanTest, LayoutPlanFetchesEveryUrl) {
  struct Entry {
    const char* location;
    PrereqAction detected;
    PrereqSource source;
  };
  files.folders.insert("D:\\layout");
  files.files["D:\\layout\\complete.exe"] = Bytes(5, 1);
  files.files["D:\\layout\\short.exe"] = Bytes(3, 1);
  files.files["D:\\layout\\setup.exe"] = Bytes(5, 1);
  const Entry entries[] = {
      {"http://h/complete.exe", DontInstall, PrereqSource::Url},  // 5 bytes there
      {"http://h/short.exe", Download, PrereqSource::Url},
      {"http://h/missing.exe", NotRequired, PrereqSource::Url},
      {"payload.exe", Install, PrereqSource::SetupFile},
      {"http://h/setup.exe", Download, PrereqSource::Url},
      {"http://h/old.exe", InstallExisting, PrereqSource::Url},
  };
  for (const Entry& entry : entries) {
    Add(entry.location, 5, entry.detected);
    list.Prerequisites[list.Count() - 1].Source = entry.source;
  }
  ASSERT_TRUE(BuildLayoutPlan(archive, list, "D:\\layout\\", "D:\\layout\\setup.exe", services, &plan));
  EXPECT_EQ(testing::DumpPlan(plan), "folder D:\\layout\\\n"
                                     "actions InstallExisting Download Download DontInstall Download Download");
  EXPECT_EQ(list.Actions[0], DontInstall) << "detection's own actions stay";
  String path;
  EXPECT_FALSE(DownloadPath(plan, 4, NoLeadBytes, &path)) << "never over the setup's copy";

  String names;
  EXPECT_EQ(ListMissingDownloads(plan, &names), 4u);
  EXPECT_STREQ(names.c_str(), "http://h/short.exe\nhttp://h/missing.exe\nhttp://h/setup.exe\nhttp://h/old.exe\n");

  // After a run the downloaded ones count as there, the failed ones not.
  plan.actions[1] = InstallDownloaded;
  plan.actions[2] = NotFound;
  plan.actions[5] = InstallDownloaded;
  names.Clear();
  EXPECT_EQ(ListMissingDownloads(plan, &names), 2u);
  EXPECT_STREQ(names.c_str(), "http://h/missing.exe\nhttp://h/setup.exe\n");
}

// Two downloads under one name: the later one fails without a request and
// without touching the earlier one's file, which alone is installed; a
// download named as the setup is never written over it.
TEST_F(PlanTest, ADownloadThatCannotBeSavedFailsAlone) {
  http.resources["http://a/setup2.exe"].body = Bytes(10, 1);
  http.resources["http://b/setup2.exe"].body = Bytes(12, 2);
  http.resources["http://c/setup.exe"].body = Bytes(5, 3);
  Add("http://a/setup2.exe", 10, Download);
  Add("http://b/setup2.exe", 12, Download);
  Add("http://c/setup.exe", 5, Download);
  const Bytes setup = files.files[process.modulePath];
  Build();
  EXPECT_EQ(DownloadPrerequisites(plan, services, nullptr), DownloadSucceeded);
  EXPECT_EQ(testing::DumpPlan(plan), "folder C:\\Downloads\\\n"
                                     "actions InstallDownloaded NotFound NotFound\n"
                                     "item 0 http://a/setup2.exe 10 Done\n"
                                     "item 1 http://b/setup2.exe 12 Failed\n"
                                     "item 2 http://c/setup.exe 5 Failed");
  EXPECT_TRUE(files.files["C:\\Downloads\\setup2.exe"] == Bytes(10, 1));
  EXPECT_TRUE(files.files[process.modulePath] == setup);
  EXPECT_EQ(http.calls, (std::vector<std::string>{"session", "GET http://a/setup2.exe"}));
  // Nor does a later folder check take the earlier file for the later one.
  ReconcileDownloads(plan, services);
  plan.actions[1] = Download;
  ReconcileDownloads(plan, services);
  EXPECT_EQ(plan.actions[1], Download);
}

// A run without items still runs (and succeeds); every run refills the
// items from the actions of the moment.
TEST_F(PlanTest, EachRunRefillsTheItems) {
  Add("setup.exe", 10, Install);
  Build();
  EXPECT_EQ(DownloadPrerequisites(plan, services, nullptr), DownloadSucceeded);
  EXPECT_EQ(http.calls, std::vector<std::string>{"session"});
  EXPECT_EQ(testing::DumpPlan(plan), "folder C:\\Downloads\\\nactions Install");

  Add("http://h/a.exe", 10, Download);
  Build();
  http.sessionFails = true;
  EXPECT_EQ(DownloadPrerequisites(plan, services, nullptr), DownloadIncomplete);
  EXPECT_EQ(testing::DumpPlan(plan), "folder C:\\Downloads\\\nactions Install NotFound\n"
                                     "item 1 http://h/a.exe 10 Pending");
  plan.actions[1] = Download;
  http.sessionFails = false;
  http.resources["http://h/a.exe"].body = Bytes(10, 1);
  EXPECT_EQ(DownloadPrerequisites(plan, services, nullptr), DownloadSucceeded);
  EXPECT_EQ(testing::DumpPlan(plan), "folder C:\\Downloads\\\nactions Install InstallDownloaded\n"
                                     "item 1 http://h/a.exe 10 Done");
}

// An interactive run leaves the actions to the caller: a failed run keeps
// them Download, so that the next attempt fetches (and continues) again.
class FailingDialog final : public DownloadDialog {
 public:
  int32_t Show(DownloadBatch& batch, DownloadServices&) override {
    itemsSeen = batch.items.Count();
    return DownloadAborted;
  }
  size_t itemsSeen = 0;
};

TEST_F(PlanTest, InteractiveRunLeavesTheActions) {
  Add("http://h/a.exe", 10, Download);
  Add("http://h/b.exe", 10, Download);
  Build();
  FailingDialog dialog;
  EXPECT_EQ(DownloadPrerequisites(plan, services, &dialog), DownloadAborted);
  EXPECT_EQ(dialog.itemsSeen, 2u);
  EXPECT_EQ(plan.actions[0], Download);
  EXPECT_EQ(plan.actions[1], Download);
}

// Done becomes InstallDownloaded; every other status NotFound; other
// actions stay.
TEST_F(PlanTest, ApplyDownloadResults) {
  for (int i = 0; i < 6; ++i) Add("http://h/x.exe", 1, Download);
  Build();
  plan.actions[5] = Install;
  const DownloadStatus statuses[] = {DownloadStatus::Done, DownloadStatus::Failed, DownloadStatus::ReadError,
                                     DownloadStatus::WriteError, DownloadStatus::Pending};
  for (int i = 0; i < 5; ++i) {
    DownloadItem item;
    item.status = statuses[i];
    item.prereqIndex = i;
    ASSERT_TRUE(plan.downloads.items.Push(static_cast<DownloadItem&&>(item)));
  }
  ApplyDownloadResults(plan);
  EXPECT_EQ(testing::DumpPlan(plan), "folder C:\\Downloads\\\n"
                                     "actions InstallDownloaded NotFound NotFound NotFound NotFound Install\n"
                                     "item 0  0 Done\nitem 1  0 Failed\nitem 2  0 ReadError\nitem 3  0 WriteError\n"
                                     "item 4  0 Pending");
}

// The texts that tell why a run failed.
TEST(DownloadFailureTextTest, StringPerCode) {
  const struct {
    int32_t code;
    unsigned text;
  } cases[] = {{1, IDS_DOWNLOAD_NOT_STARTED}, {2, IDS_DOWNLOAD_READ_ERROR}, {3, IDS_DOWNLOAD_SAVE_ERROR},
               {4, IDS_DOWNLOAD_ABORTED},     {5, IDS_DOWNLOAD_FAILED},     {0, IDS_DOWNLOAD_FAILED},
               {-1, IDS_DOWNLOAD_FAILED}};
  for (const auto& c : cases) EXPECT_EQ(DownloadFailureText(c.code), c.text) << c.code;
}

}  // namespace
}  // namespace korvelt
