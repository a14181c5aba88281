#include "download/worker.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include "platform/sha256_posix.h"
#include "prereq/download_name.h"
#include "testing/download_fixture.h"
#include "testing/sha256_vectors.h"

namespace korvelt {
namespace {

using testing::Body;
using testing::Bytes;
using testing::DownloadTest;
using testing::FakeResource;
using testing::kPath;
using testing::kUrl;
using testing::kWindow;
using testing::Messages;
using testing::PostedMessage;
using testing::Prefix;

class WorkerTest : public DownloadTest {
 protected:
  // An item of `url` saved in the batch's folder under its URL's name.
  void Add(const char* url, int32_t exactSize) {
    DownloadItem item;
    ASSERT_TRUE(item.url.Assign(url));
    ASSERT_TRUE(LocalDownloadPath(batch.folder.c_str(), url, "", NoLeadBytes, &item.path));
    item.exactSize = exactSize;
    item.prereqIndex = static_cast<int32_t>(batch.items.Count()) * 10;
    ASSERT_TRUE(batch.items.Push(static_cast<DownloadItem&&>(item)));
  }
  // The worker's own routine, on this thread, reporting to kWindow.
  void RunHere() {
    ScopedEvent gate(threads, threads.CreateManualEvent(true));
    batch.services = &services;
    batch.window = kWindow;
    batch.pauseEvent = gate.Get();
    RunWorker(batch);
    batch.pauseEvent = 0;
  }
  std::vector<DownloadStatus> Statuses() {
    std::vector<DownloadStatus> statuses;
    for (const DownloadItem& item : batch.items) statuses.push_back(item.status);
    return statuses;
  }

  DownloadBatch batch;
};

// No items: only DL_ALL_DONE, and the result 0.
TEST_F(WorkerTest, EmptyRunIsDoneAtOnce) {
  ASSERT_TRUE(batch.folder.Assign("C:\\dl\\"));
  RunHere();
  EXPECT_EQ(Messages(poster.posted()), (std::vector<std::string>{"DL_ALL_DONE:0"}));
  EXPECT_EQ(batch.result, WorkerFinished);
  EXPECT_EQ(http.calls, std::vector<std::string>{"session"});
}

// Without a session: DL_OPEN_FAILED with 0, result 4, every item Pending.
TEST_F(WorkerTest, NoSession) {
  ASSERT_TRUE(batch.folder.Assign("C:\\dl\\"));
  Add("http://h/a.exe", 10);
  http.sessionFails = true;
  RunHere();
  EXPECT_EQ(Messages(poster.posted()), (std::vector<std::string>{"DL_OPEN_FAILED:0"}));
  EXPECT_EQ(batch.result, WorkerNoSession);
  EXPECT_EQ(Statuses(), std::vector<DownloadStatus>{DownloadStatus::Pending});
}

// Rejected sizes and failed reads or writes leave the item Failed and the
// worker goes on; every item ends in its own status and message.
TEST_F(WorkerTest, GoesOnAfterItemFailures) {
  ASSERT_TRUE(batch.folder.Assign("C:\\dl"));  // the backslash is added
  http.resources["http://h/a.exe"].body = Body(100);
  http.resources["http://h/b.exe"].body = Body(100);
  http.resources["http://h/c.exe"].body = Body(100);
  http.resources["http://h/c.exe"].readFailsAt = 50;
  http.resources["http://h/d.exe"].body = Body(100);
  http.resources["http://h/e.exe"].body = Body(100);
  files.failCreate.insert("C:\\dl\\d.exe");
  Add("http://h/a.exe", 100);
  Add("http://h/b.exe", 99);
  Add("http://h/c.exe", 100);
  Add("http://h/d.exe", 100);
  Add("http://h/e.exe", 100);
  RunHere();
  EXPECT_EQ(Messages(poster.posted()),
            (std::vector<std::string>{"DL_FILE_START:0", "DL_PROGRESS:100", "DL_FILE_DONE:0", "DL_FILE_START:1", "DL_WRONG_SIZE:100", "DL_FILE_START:2", "DL_PROGRESS:50",
                                      "DL_READ_FAILED:2", "DL_FILE_START:3", "DL_SAVE_FAILED:3", "DL_FILE_START:4", "DL_PROGRESS:100", "DL_FILE_DONE:4", "DL_ALL_DONE:0"}));
  EXPECT_EQ(Statuses(), (std::vector<DownloadStatus>{DownloadStatus::Done, DownloadStatus::Failed,
                                                      DownloadStatus::Failed, DownloadStatus::Failed,
                                                      DownloadStatus::Done}));
  EXPECT_EQ(batch.result, WorkerFinished);
  EXPECT_TRUE(files.files["C:\\dl\\a.exe"] == Body(100));
  EXPECT_EQ(files.files.count("C:\\dl\\b.exe"), 0u);
}

// An answer that is not the file (an error status) fails its item alone
// and the worker goes on; a server that gives no answer at all stops the
// run: result 2, no DL_ALL_DONE, the items behind it Pending.
TEST_F(WorkerTest, ErrorAnswerFailsItsItemNoAnswerStopsTheRun) {
  struct Case {
    const char* name;
    bool served;  // b.exe answers 404; else its server gives no answer
    std::vector<std::string> messages;
    std::vector<DownloadStatus> statuses;
    int32_t result;
  } cases[] = {
      {"404", true,
       {"DL_FILE_START:0", "DL_PROGRESS:100", "DL_FILE_DONE:0", "DL_FILE_START:1", "DL_NOT_SERVED:1", "DL_FILE_START:2",
        "DL_PROGRESS:100", "DL_FILE_DONE:2", "DL_ALL_DONE:0"},
       {DownloadStatus::Done, DownloadStatus::Failed, DownloadStatus::Done},
       WorkerFinished},
      {"no answer", false,
       {"DL_FILE_START:0", "DL_PROGRESS:100", "DL_FILE_DONE:0", "DL_FILE_START:1", "DL_OPEN_FAILED:1"},
       {DownloadStatus::Done, DownloadStatus::Failed, DownloadStatus::Pending},
       WorkerStoppedEarly},
  };
  ASSERT_TRUE(batch.folder.Assign("C:\\dl\\"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    http.resources.clear();
    files.files.clear();
    poster.Clear();
    batch.items.Clear();
    http.resources["http://h/a.exe"].body = Body(100);
    if (c.served) http.resources["http://h/b.exe"].status = 404;
    http.resources["http://h/c.exe"].body = Body(100);
    Add("http://h/a.exe", 100);
    Add("http://h/b.exe", 100);
    Add("http://h/c.exe", 100);
    RunHere();
    EXPECT_EQ(Messages(poster.posted()), c.messages);
    EXPECT_EQ(Statuses(), c.statuses);
    EXPECT_EQ(batch.result, c.result);
    EXPECT_EQ(files.files.count("C:\\dl\\b.exe"), 0u);
    EXPECT_EQ(http.openHandles(), 0);
  }
}

// An item's status is written before the message about it goes out.
TEST_F(WorkerTest, StatusBeforeMessage) {
  ASSERT_TRUE(batch.folder.Assign("C:\\dl\\"));
  http.resources["http://h/a.exe"].body = Body(100);
  http.resources["http://h/b.exe"].body = Body(100);
  http.resources["http://h/b.exe"].cutAt = 10;
  Add("http://h/a.exe", 100);
  Add("http://h/b.exe", 100);
  std::vector<std::string> seen;
  poster.onPost = [&](uint32_t message, uintptr_t index) {
    if (message == DL_FILE_DONE || message == DL_READ_FAILED) {
      seen.push_back(std::to_string(message) + " " + std::to_string(static_cast<int>(batch.items[index].status)));
    }
  };
  RunHere();
  EXPECT_EQ(seen, (std::vector<std::string>{"1028 0", "1031 1"}));
}

// Two URLs with the same file name share one local file: the second finds
// it complete.
TEST_F(WorkerTest, SameFileNameSharesTheFile) {
  ASSERT_TRUE(batch.folder.Assign("C:\\dl\\"));
  http.resources["http://a/x.exe"].body = Body(100);
  http.resources["http://b/x.exe"].body = Body(100);
  Add("http://a/x.exe", 100);
  Add("http://b/x.exe", 100);
  RunHere();
  EXPECT_EQ(Messages(poster.posted()), (std::vector<std::string>{"DL_FILE_START:0", "DL_PROGRESS:100", "DL_FILE_DONE:0", "DL_FILE_START:1",
                                                                 "DL_PROGRESS:100", "DL_FILE_DONE:1", "DL_ALL_DONE:0"}));
  EXPECT_EQ(http.bytesSent, 100u);
}

// Without a window the worker posts nothing at all.
TEST_F(WorkerTest, NoWindowNoMessages) {
  ASSERT_TRUE(batch.folder.Assign("C:\\dl\\"));
  http.resources["http://h/a.exe"].body = Body(100);
  Add("http://h/a.exe", 1);
  Add("http://h/a.exe", 100);
  ScopedEvent gate(threads, threads.CreateManualEvent(true));
  batch.services = &services;
  batch.pauseEvent = gate.Get();
  RunWorker(batch);
  batch.pauseEvent = 0;
  EXPECT_TRUE(poster.posted().empty());
  EXPECT_EQ(Statuses(), (std::vector<DownloadStatus>{DownloadStatus::Failed, DownloadStatus::Done}));
}

// The worker on its own thread, steered from this one: the test holds the
// worker inside the report of chunk `chunk` until it has acted.
class SteeredWorkerTest : public WorkerTest {
 protected:
  void SetUp() override {
    WorkerTest::SetUp();
    ASSERT_TRUE(batch.folder.Assign("C:\\dl\\"));
    http.resources["http://h/a.exe"].body = Body(5 * 8192);
    Add("http://h/a.exe", 5 * 8192);
  }
  void HoldAfterChunk(int chunk) {
    poster.onPost = [this, chunk, seen = 0](uint32_t message, uintptr_t) mutable {
      if (message != DL_PROGRESS || ++seen != chunk) return;
      reached.set_value();
      released.get_future().wait();
    };
  }
  std::promise<void> reached;
  std::promise<void> released;
};

// Pause holds the worker before its next read, with the read under way
// finished; resume lets it fetch the rest.
TEST_F(SteeredWorkerTest, PauseAndResume) {
  HoldAfterChunk(1);
  ASSERT_TRUE(StartWorker(batch, services, kWindow));
  reached.get_future().wait();
  PauseWorker(batch);
  EXPECT_EQ(batch.control.load(), PAUSE_FLAG);
  released.set_value();
  ASSERT_TRUE(threads.WaitUntilBlocked(batch.pauseEvent));
  EXPECT_EQ(http.reads, 1);
  ResumeWorker(batch);
  EXPECT_EQ(batch.control.load(), 0u);
  WaitForWorker(batch);
  EXPECT_EQ(batch.items[0].status, DownloadStatus::Done);
  EXPECT_EQ(batch.result, WorkerFinished);
  EXPECT_EQ(files.files["C:\\dl\\a.exe"].size(), 5u * 8192);
  threads.Close(batch.thread);
  threads.Close(batch.pauseEvent);
}

// Abort while paused wakes the worker, which reads nothing more and ends
// with DL_ABORTED; the part written stays for the next run.
TEST_F(SteeredWorkerTest, AbortWhilePaused) {
  HoldAfterChunk(1);
  ASSERT_TRUE(StartWorker(batch, services, kWindow));
  reached.get_future().wait();
  PauseWorker(batch);
  released.set_value();
  ASSERT_TRUE(threads.WaitUntilBlocked(batch.pauseEvent));
  AbortWorker(batch);
  EXPECT_EQ(batch.control.load(), PAUSE_FLAG | ABORT_FLAG);
  EXPECT_TRUE(threads.IsSignalled(batch.pauseEvent));
  WaitForWorker(batch);
  EXPECT_EQ(http.reads, 1);
  EXPECT_EQ(batch.items[0].status, DownloadStatus::Failed);
  EXPECT_EQ(batch.result, WorkerStoppedEarly);
  EXPECT_EQ(Messages(poster.posted()),
            (std::vector<std::string>{"DL_FILE_START:0", "DL_PROGRESS:8192", "DL_ABORTED:0"}));
  EXPECT_EQ(files.files["C:\\dl\\a.exe"].size(), 8192u);
  threads.Close(batch.thread);
  threads.Close(batch.pauseEvent);
}

// Abort while running takes hold before the next read.
TEST_F(SteeredWorkerTest, AbortWhileRunning) {
  HoldAfterChunk(2);
  ASSERT_TRUE(StartWorker(batch, services, kWindow));
  reached.get_future().wait();
  AbortWorker(batch);
  released.set_value();
  WaitForWorker(batch);
  EXPECT_EQ(http.reads, 2);
  EXPECT_EQ(batch.result, WorkerStoppedEarly);
  EXPECT_EQ(poster.posted().back(), (PostedMessage{kWindow, DL_ABORTED, 0, 0}));
  threads.Close(batch.thread);
  threads.Close(batch.pauseEvent);
}

// A pause during the wait before a retry holds the worker at the gate;
// after the resume the rest of the wait is slept and the file completed.
TEST_F(SteeredWorkerTest, PauseDuringTheWaitBeforeARetry) {
  http.resources["http://h/a.exe"].readFailsAt = 8192;
  http.resources["http://h/a.exe"].faultyResponses = 1;
  threads.onSleep = [this, slept = 0]() mutable {
    if (++slept == 2) PauseWorker(batch);
  };
  ASSERT_TRUE(StartWorker(batch, services, kWindow));
  ASSERT_TRUE(threads.WaitUntilBlocked(batch.pauseEvent));
  EXPECT_EQ(threads.sleeps.size(), 2u);
  EXPECT_EQ(http.calls.size(), 2u) << "the session and the first request";
  ResumeWorker(batch);
  WaitForWorker(batch);
  EXPECT_EQ(threads.sleeps.size(), 1000 / kRetryWaitStep);
  EXPECT_EQ(batch.items[0].status, DownloadStatus::Done);
  EXPECT_EQ(batch.items[0].report.retries, 1u);
  EXPECT_TRUE(files.files["C:\\dl\\a.exe"] == Body(5 * 8192));
  threads.onSleep = nullptr;
  threads.Close(batch.thread);
  threads.Close(batch.pauseEvent);
}

// A worker started again begins with a clear flag word and an open gate.
TEST_F(SteeredWorkerTest, StartClearsTheFlags) {
  batch.control = PAUSE_FLAG | ABORT_FLAG;
  ASSERT_TRUE(StartWorker(batch, services, 0));
  WaitForWorker(batch);
  EXPECT_EQ(batch.items[0].status, DownloadStatus::Done);
  threads.Close(batch.thread);
  threads.Close(batch.pauseEvent);
}

// The silent run: started without a window, waited for, and its thread and
// gate closed; 5 when the worker stopped early, had no session, or could
// not start.
TEST_F(WorkerTest, SilentRuns) {
  ASSERT_TRUE(batch.folder.Assign("C:\\dl\\"));
  http.resources["http://h/a.exe"].body = Body(100);
  Add("http://h/a.exe", 100);
  EXPECT_EQ(RunDownloads(batch, services, nullptr), DownloadSucceeded);
  EXPECT_EQ(batch.items[0].status, DownloadStatus::Done);
  EXPECT_EQ(batch.thread, 0u);
  EXPECT_EQ(batch.pauseEvent, 0u);
  EXPECT_EQ(threads.open(), 0);
  EXPECT_TRUE(poster.posted().empty());

  Add("http://h/missing.exe", 100);
  EXPECT_EQ(RunDownloads(batch, services, nullptr), DownloadIncomplete);
  http.sessionFails = true;
  EXPECT_EQ(RunDownloads(batch, services, nullptr), DownloadIncomplete);
  http.sessionFails = false;
  threads.failThreads = true;
  batch.items[0].status = DownloadStatus::Pending;
  EXPECT_EQ(RunDownloads(batch, services, nullptr), DownloadIncomplete);
  EXPECT_EQ(batch.items[0].status, DownloadStatus::Pending);
  threads.failThreads = false;
  threads.failEvents = true;
  EXPECT_EQ(RunDownloads(batch, services, nullptr), DownloadIncomplete);
  EXPECT_EQ(threads.open(), 0);
}

// With a Sha256 a finished file counts only with that content: other
// content, fetched whole or continued from bad bytes, ends Failed with
// DL_WRONG_CONTENT, as a wrong size fails, and the file is left empty; a file
// already at full size is kept when its content is right and fetched again
// whole when not. No Sha256, any content.
TEST_F(WorkerTest, FinishedFileMustMatchItsSha256) {
  const Bytes body = Body();
  Bytes other = body;
  other[12345] ^= 1;
  PosixSha256Service sha256;
  services.sha256 = &sha256;
  const std::string right = testing::DigestInPieces(sha256, std::string(body.begin(), body.end()), 8192);
  const std::vector<std::string> whole = {"DL_FILE_START:0", "DL_PROGRESS:8192", "DL_PROGRESS:8192", "DL_PROGRESS:3616"};
  struct Case {
    const Bytes& served;
    bool fileExists;
    Bytes before;
    std::string sha256;
    bool done;
    std::vector<std::string> messages;  // after those of `whole`, or of a resumption
  } cases[] = {
      {body, false, {}, right, true, {"DL_FILE_DONE:0"}},
      {other, false, {}, right, false, {"DL_WRONG_CONTENT:0"}},
      {other, false, {}, "", true, {"DL_FILE_DONE:0"}},
      {body, false, {}, "-", false, {"DL_WRONG_CONTENT:0"}},
      {body, true, Prefix(body, 15000), right, true, {"DL_FILE_DONE:0"}},        // resumed, right
      {body, true, other, right, true, {"DL_FILE_DONE:0"}},                      // full size, fetched again
      {body, true, body, right, true, {"DL_FILE_DONE:0"}},                       // full size, right: kept
      {body, true, Prefix(other, 15000), right, false, {"DL_WRONG_CONTENT:0"}},  // resumed from bad bytes
  };
  ASSERT_TRUE(batch.folder.Assign("C:\\dl\\"));
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << &c - cases);
    http.resources[kUrl].body = c.served;
    files.files.erase(kPath);
    if (c.fileExists) files.files[kPath] = c.before;
    poster.Clear();
    http.calls.clear();
    batch.items.Clear();
    Add(kUrl, 20000);
    ASSERT_TRUE(batch.items[0].sha256.Assign(c.sha256.c_str()));
    RunHere();
    bool resumed = c.fileExists && c.before.size() < 20000;
    // A file of the full size with the pinned content is taken as it lies,
    // without a request; only one of other content is fetched again.
    bool kept = c.fileExists && c.before == body && c.sha256 == right;
    EXPECT_EQ(http.calls.size(), kept ? 1u : 2u);
    std::vector<std::string> messages =
        kept      ? std::vector<std::string>{"DL_FILE_START:0", "DL_PROGRESS:20000"}
        : resumed ? std::vector<std::string>{"DL_FILE_START:0", "DL_PROGRESS:15000", "DL_PROGRESS:5000"}
                  : whole;
    messages.insert(messages.end(), c.messages.begin(), c.messages.end());
    messages.push_back("DL_ALL_DONE:0");
    EXPECT_EQ(Messages(poster.posted()), messages);
    EXPECT_EQ(batch.items[0].status, c.done ? DownloadStatus::Done : DownloadStatus::Failed);
    EXPECT_TRUE(files.files[kPath] == (c.done ? c.served : Bytes())) << files.files[kPath].size();
  }
  // The emptied file is fetched whole by the next run, not continued.
  http.calls.clear();
  RunHere();
  EXPECT_EQ(http.calls, (std::vector<std::string>{"session", "GET http://host/files/setup.exe"}));
}

// Each processed item's report, whole before the message that ends the
// item goes out: a file continued and broken once, one already there, an
// error page, another length, other content. A run that ends before an
// item leaves no report of an earlier run on it.
TEST_F(WorkerTest, ReportOfEachItem) {
  const Bytes body = Body();
  Bytes other = body;
  other[7] ^= 1;
  PosixSha256Service sha256;
  services.sha256 = &sha256;
  const std::string right = testing::DigestInPieces(sha256, std::string(body.begin(), body.end()), 8192);
  ASSERT_TRUE(batch.folder.Assign("C:\\dl\\"));
  for (const char* name : {"a", "b", "c", "d", "e"}) {
    std::string url = std::string("http://h/") + name + ".exe";
    http.resources[url].body = *name == 'd' ? Body(100) : *name == 'e' ? other : body;
    Add(url.c_str(), 20000);
    ASSERT_TRUE(batch.items[batch.items.Count() - 1].sha256.Assign(right.c_str()));
  }
  http.resources["http://h/a.exe"].readFailsAt = 9000;
  http.resources["http://h/a.exe"].faultyResponses = 1;
  files.files["C:\\dl\\a.exe"] = Prefix(body, 5000);
  files.files["C:\\dl\\b.exe"] = body;
  http.resources["http://h/c.exe"].status = 404;
  // A report in a line: where it led, status, length, resumed from,
  // received, retries, failure, digest verdict, outcome.
  auto line = [](const DownloadReport& r) {
    return std::string(r.finalUrl.c_str()) + " " + std::to_string(r.status) + " " +
           (r.hasLength ? std::to_string(r.length) : "-") + " " + std::to_string(r.resumedFrom) + " " +
           std::to_string(r.received) + " " + std::to_string(r.retries) + " " +
           std::to_string(static_cast<int>(r.error.failure)) + " " + std::to_string(static_cast<int>(r.digest)) +
           " " + testing::MessageName(r.outcome);
  };
  std::vector<std::string> posted;  // as each item's last message went out
  size_t current = 0;
  poster.onPost = [&](uint32_t message, uintptr_t wParam) {
    if (message == DL_FILE_START) {
      current = wParam;
    } else if (message != DL_PROGRESS && message != DL_ALL_DONE) {
      posted.push_back(line(batch.items[current].report));
    }
  };
  RunHere();
  EXPECT_EQ(posted, (std::vector<std::string>{
                        "http://h/a.exe 206 20000 5000 15000 1 5 1 DL_COMPLETE",  // Broken, Matched
                        " 0 - 0 0 0 0 2 DL_COMPLETE",                             // WasThere
                        "http://h/c.exe 404 - 0 0 0 0 0 DL_NOT_SERVED",
                        "http://h/d.exe 200 100 0 0 0 0 0 DL_SIZE_REJECTED",
                        "http://h/e.exe 200 20000 0 20000 0 0 3 DL_SIZE_REJECTED",    // Wrong
                    }));
  for (size_t i = 0; i < posted.size(); ++i) EXPECT_EQ(line(batch.items[i].report), posted[i]) << "changed later";
  poster.onPost = nullptr;
  http.sessionFails = true;
  RunHere();
  EXPECT_EQ(batch.items[0].report.outcome, 0u);
  EXPECT_EQ(batch.items[0].report.received, 0u);
}

// A dialog that starts the worker and comes back at once, as one that
// closes on DL_ALL_DONE may: the run still ends only after the worker.
class QuickDialog final : public DownloadDialog {
 public:
  int32_t Show(DownloadBatch& batch, DownloadServices& services) override {
    started = StartWorker(batch, services, kWindow);
    return 0;
  }
  bool started = false;
};

// The interactive run hands the batch to the dialog and returns its code
// only once the worker has ended and its handles are closed.
TEST_F(WorkerTest, DialogRunWaitsForTheWorker) {
  ASSERT_TRUE(batch.folder.Assign("C:\\dl\\"));
  http.resources["http://h/a.exe"].body = Body(3 * 8192);
  Add("http://h/a.exe", 3 * 8192);
  QuickDialog dialog;
  EXPECT_EQ(RunDownloads(batch, services, &dialog), DownloadSucceeded);
  EXPECT_TRUE(dialog.started);
  EXPECT_EQ(poster.posted().back(), (PostedMessage{kWindow, DL_ALL_DONE, 0, 0}));
  EXPECT_EQ(http.openHandles(), 0);
  EXPECT_EQ(threads.open(), 0);
  EXPECT_EQ(batch.window, 0u);
}

}  // namespace
}  // namespace korvelt
