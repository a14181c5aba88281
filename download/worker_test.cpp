#include "download/worker.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include "platform/sha256_posix.h"
#include "testing/fake_clock.h"
#include "testing/fake_files.h"
#include "testing/fake_http.h"
#include "testing/recording_poster.h"
#include "testing/sha256_vectors.h"
#include "testing/std_threads.h"

namespace korvelt {
namespace {

using testing::Bytes;
using testing::FakeResource;
using testing::PostedMessage;

constexpr char kUrl[] = "http://host/files/setup.exe";
constexpr char kPath[] = "C:\\dl\\setup.exe";
constexpr WindowId kWindow = 0x4711;

// 20,000 bytes: two whole chunks and 3,616 bytes.
Bytes Body(size_t size = 20000) {
  Bytes body(size);
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<unsigned char>(i * 7 % 251);
  return body;
}

Bytes Prefix(const Bytes& bytes, size_t size) { return Bytes(bytes.begin(), bytes.begin() + size); }

// Messages without their window, speeds left out: "1027:8192".
std::vector<std::string> Messages(const std::vector<PostedMessage>& posted) {
  std::vector<std::string> texts;
  for (const PostedMessage& message : posted) {
    texts.push_back(std::to_string(message.message) + ":" + std::to_string(message.wParam));
  }
  return texts;
}

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override { files.folders = {"C:", "C:\\dl"}; }

  // DownloadFile for kUrl into kPath, on this thread, with the gate open.
  uint32_t Fetch(int32_t exactSize) {
    ScopedHttp session(http, http.OpenSession());
    ScopedEvent gate(threads, threads.CreateManualEvent(true));
    return DownloadFile(services, session.Get(), kUrl, exactSize, kPath, kWindow, control, gate.Get());
  }

  testing::FakeHttpService http;
  testing::FakeFileSystem files;
  testing::FakeClock clock;
  testing::RecordingPoster poster;
  testing::StdThreadService threads;
  DownloadServices services{http, files, clock, poster, threads, NoLeadBytes};
  std::atomic<uint32_t> control{0};
};

// Every way one file can go, from the answer and what lies on disk to the
// outcome, the file left behind, the requests and the reports.
TEST_F(DownloadTest, OneFile) {
  const Bytes body = Body();
  const Bytes old(25000, 0xEE);
  struct Case {
    const char* name;
    std::function<void(FakeResource&)> server;
    bool fileExists;
    Bytes before;  // what lies on disk when the file exists
    int32_t exactSize;
    uint32_t outcome;
    bool fileAfter;
    Bytes after;
    std::vector<std::string> requests;
    std::vector<std::string> messages;
  } cases[] = {
      {"fresh", [](FakeResource&) {}, false, {}, 20000, DL_COMPLETE, true, body, {"GET u"},
       {"1027:8192", "1027:8192", "1027:3616"}},
      {"no length", [](FakeResource& r) { r.sendsLength = false; }, false, {}, 0, DL_COMPLETE, true, body, {"GET u"},
       {"1027:8192", "1027:8192", "1027:3616"}},
      {"small reads", [](FakeResource& r) { r.chunk = 7000; }, false, {}, 20000, DL_COMPLETE, true, body, {"GET u"},
       {"1027:7000", "1027:7000", "1027:6000"}},
      // The size is checked before the local file is touched.
      {"wrong size", [](FakeResource&) {}, false, {}, 19999, DL_SIZE_REJECTED, false, {}, {"GET u"}, {"1034:20000"}},
      {"wrong size keeps a partial file", [](FakeResource&) {}, true, Prefix(body, 100), 1, DL_SIZE_REJECTED, true,
       Prefix(body, 100), {"GET u from 100"}, {"1034:20000"}},
      // An error page is never the file, with or without a length.
      {"404 of the right length", [](FakeResource& r) { r.status = 404; }, false, {}, 20000, DL_OPEN_FAILED, false, {},
       {"GET u"}, {}},
      {"404 without length", [](FakeResource& r) { r.status = 404; r.sendsLength = false; }, false, {}, 20000,
       DL_OPEN_FAILED, false, {}, {"GET u"}, {}},
      {"500", [](FakeResource& r) { r.status = 500; }, false, {}, 20000, DL_OPEN_FAILED, false, {}, {"GET u"}, {}},
      {"302 not followed", [](FakeResource& r) { r.status = 302; }, false, {}, 20000, DL_OPEN_FAILED, false, {},
       {"GET u"}, {}},
      // Already complete: the server says nothing is missing; one report
      // of the size, nothing read.
      {"complete on disk", [](FakeResource&) {}, true, body, 20000, DL_COMPLETE, true, body, {"GET u from 20000"},
       {"1027:20000"}},
      {"complete, ranges ignored", [](FakeResource& r) { r.ignoresRanges = true; }, true, body, 20000, DL_COMPLETE,
       true, body, {"GET u from 20000"}, {"1027:20000"}},
      {"416 without Content-Range", [](FakeResource& r) { r.sendsContentRange = false; }, true, body, 20000,
       DL_OPEN_FAILED, true, body, {"GET u from 20000"}, {}},
      {"empty file, empty resource", [](FakeResource& r) { r.body.clear(); }, true, {}, 0, DL_COMPLETE, true, {},
       {"GET u"}, {"1027:0"}},
      // A partial file is continued from its end by a verified range, and
      // only the missing bytes are asked for.
      {"resumed", [](FakeResource&) {}, true, Prefix(body, 10000), 20000, DL_COMPLETE, true, body,
       {"GET u from 10000"}, {"1027:10000", "1027:8192", "1027:1808"}},
      {"resumed without length", [](FakeResource& r) { r.sendsLength = false; }, true, Prefix(body, 10000), 0,
       DL_COMPLETE, true, body, {"GET u from 10000"}, {"1027:10000", "1027:8192", "1027:1808"}},
      {"resumed, wrong size", [](FakeResource&) {}, true, Prefix(body, 10000), 30000, DL_SIZE_REJECTED, true,
       Prefix(body, 10000), {"GET u from 10000"}, {"1034:20000"}},
      // A server that ignores the range sends the whole body: the file is
      // written again from its first byte, never spliced.
      {"range ignored", [](FakeResource& r) { r.ignoresRanges = true; }, true, Bytes(10000, 0xEE), 20000, DL_COMPLETE,
       true, body, {"GET u from 10000"}, {"1027:8192", "1027:8192", "1027:3616"}},
      {"range at another start", [](FakeResource& r) { r.rangeStartShown = 0; }, true, Prefix(body, 10000), 20000,
       DL_OPEN_FAILED, true, Prefix(body, 10000), {"GET u from 10000"}, {}},
      {"206 without Content-Range", [](FakeResource& r) { r.sendsContentRange = false; }, true, Prefix(body, 10000),
       20000, DL_OPEN_FAILED, true, Prefix(body, 10000), {"GET u from 10000"}, {}},
      {"range refused", [](FakeResource& r) { r.rangeStatus = 500; }, true, Prefix(body, 10000), 20000, DL_OPEN_FAILED,
       true, Prefix(body, 10000), {"GET u from 10000"}, {}},
      {"error page for the range", [](FakeResource& r) { r.status = 404; }, true, Prefix(body, 10000), 20000,
       DL_OPEN_FAILED, true, Prefix(body, 10000), {"GET u from 10000"}, {}},
      // A longer file is written again from its first byte and shortened.
      {"longer file", [](FakeResource&) {}, true, old, 20000, DL_COMPLETE, true, body, {"GET u from 25000", "GET u"},
       {"1027:8192", "1027:8192", "1027:3616"}},
      {"longer file, wrong size", [](FakeResource&) {}, true, old, 19000, DL_SIZE_REJECTED, true, old,
       {"GET u from 25000", "GET u"}, {"1034:20000"}},
      // Without a length an empty file proves nothing: the body is fetched.
      {"empty file, no length", [](FakeResource& r) { r.sendsLength = false; }, true, {}, 0, DL_COMPLETE, true, body,
       {"GET u"}, {"1027:8192", "1027:8192", "1027:3616"}},
      // A body that ends before (or runs past) the announced length is no
      // finished file; what came stays.
      {"short body", [](FakeResource& r) { r.cutAt = 15000; }, false, {}, 20000, DL_READ_FAILED, true,
       Prefix(body, 15000), {"GET u"}, {"1027:8192", "1027:6808"}},
      {"long body", [](FakeResource& r) { r.announcedLength = 15000; }, false, {}, 15000, DL_READ_FAILED, true, body,
       {"GET u"}, {"1027:8192", "1027:8192", "1027:3616"}},
      {"read fails", [](FakeResource& r) { r.readFailsAt = 9000; }, false, {}, 20000, DL_READ_FAILED, true,
       Prefix(body, 9000), {"GET u"}, {"1027:8192", "1027:808"}},
      {"unknown url", [](FakeResource&) {}, false, {}, 20000, DL_OPEN_FAILED, false, {}, {"GET u"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    http.resources.clear();
    http.calls.clear();
    files.files.clear();
    poster.Clear();
    FakeResource resource;
    resource.body = body;
    c.server(resource);
    bool unknownUrl = std::string(c.name) == "unknown url";
    http.resources[unknownUrl ? "http://host/other" : kUrl] = resource;
    if (c.fileExists) files.files[kPath] = c.before;

    EXPECT_EQ(Fetch(c.exactSize), c.outcome);
    EXPECT_EQ(files.files.count(kPath), c.fileAfter ? 1u : 0u);
    if (c.fileAfter && files.files.count(kPath)) {
      EXPECT_TRUE(files.files[kPath] == c.after) << "file of " << files.files[kPath].size() << " bytes";
    }
    std::vector<std::string> requests;
    for (const std::string& call : http.calls) {
      if (call == "session") continue;
      std::string shortened = call;
      size_t at = shortened.find(kUrl);
      if (at != std::string::npos) shortened.replace(at, sizeof kUrl - 1, "u");
      requests.push_back(shortened);
    }
    EXPECT_EQ(requests, c.requests);
    EXPECT_FALSE(http.overlappingRequests);
    EXPECT_EQ(Messages(poster.posted()), c.messages);
    EXPECT_EQ(http.openHandles(), 0);
    EXPECT_EQ(files.openHandles(), 0);
  }
}

// Every read asks for one 8,192-byte chunk, and every chunk written is
// flushed before it is reported.
TEST_F(DownloadTest, ChunksAreReadWrittenAndFlushedOneByOne) {
  http.resources[kUrl].body = Body();
  EXPECT_EQ(Fetch(20000), DL_COMPLETE);
  EXPECT_EQ(http.readSizes, (std::vector<uint32_t>{8192, 8192, 8192, 8192}));
  EXPECT_EQ(files.writeSizes, (std::vector<uint32_t>{8192, 8192, 3616}));
  EXPECT_EQ(files.flushes, 3);
}

// A local file that cannot be made, a short write or a failed flush: the
// file cannot be saved.
TEST_F(DownloadTest, SaveFailures) {
  const Bytes body = Body();
  http.resources[kUrl].body = body;
  files.failCreate.insert(kPath);
  EXPECT_EQ(Fetch(20000), DL_SAVE_FAILED);
  EXPECT_EQ(http.reads, 0);
  files.failCreate.clear();

  files.writeCapacity = 10000;
  EXPECT_EQ(Fetch(20000), DL_SAVE_FAILED);
  EXPECT_TRUE(files.files[kPath] == Prefix(body, 10000));

  files.files.clear();
  files.writeCapacity = -1;
  files.failFlush = true;
  EXPECT_EQ(Fetch(20000), DL_SAVE_FAILED);
  EXPECT_EQ(files.files[kPath].size(), 8192u);
  EXPECT_EQ(http.openHandles(), 0);
}

// The speed of a chunk in hundredths of KB/s, with the cases where no time
// passed and where the clock passed midnight.
TEST(ChunkSpeedTest, HundredthsOfKilobytesPerSecond) {
  struct Case {
    uint32_t bytes, t0, t1, speed;
  } cases[] = {
      {8192, 0, 1000, 800},         // 8 KB in a second: 8.00 KB/s
      {1024, 5, 6, 100000},         // 1 KB in a millisecond: 1000.00 KB/s
      {8192, 100, 101, 800000},     // the largest a chunk can show
      {1000, 0, 1000, 97},          // 0.9765... KB/s, truncated
      {1, 0, 3, 32},                // 0.0325... KB/s
      {8192, 7, 7, 0},              // no time passed
      {8192, 86399990, 10, 0},      // across midnight the difference wraps
      {8192, 0, 86399999, 0},       // a whole day for one chunk
      {0, 0, 10, 0},
      {3616, 40000, 40250, 1412},   // 14.125 KB/s
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChunkSpeed(c.bytes, c.t0, c.t1), c.speed) << c.bytes << " bytes from " << c.t0 << " to " << c.t1;
  }
}

// The first chunk's time runs from before the local file was opened, each
// later one from the chunk before; the report of an existing part carries 0.
TEST_F(DownloadTest, ProgressCarriesEachChunksSpeed) {
  const Bytes body = Body();
  http.resources[kUrl].body = body;
  files.files[kPath] = Prefix(body, 3616);
  clock.times = {1000, 1500, 2000};
  EXPECT_EQ(Fetch(20000), DL_COMPLETE);
  std::vector<PostedMessage> posted = poster.posted();
  ASSERT_EQ(posted.size(), 3u);
  EXPECT_EQ(posted[0], (PostedMessage{kWindow, DL_PROGRESS, 3616, 0}));
  EXPECT_EQ(posted[1], (PostedMessage{kWindow, DL_PROGRESS, 8192, 1600}));  // 8 KB in 0.5 s
  EXPECT_EQ(posted[2], (PostedMessage{kWindow, DL_PROGRESS, 8192, 1600}));
  EXPECT_EQ(clock.next, 3u) << "one time before the file, one per chunk";
  // The last chunk came within the same millisecond.
  files.files[kPath] = Prefix(body, 11808);
  poster.Clear();
  clock.times = {5000, 5000};
  clock.next = 0;
  EXPECT_EQ(Fetch(20000), DL_COMPLETE);
  ASSERT_EQ(poster.posted().size(), 2u);
  EXPECT_EQ(poster.posted()[1], (PostedMessage{kWindow, DL_PROGRESS, 8192, 0}));
}

// Content-Range headers: the part and the total (-1: not given), or
// nothing at all.
TEST(ParseContentRangeTest, PartAndTotal) {
  struct Case {
    const char* text;
    long long first, last, total;
  } valid[] = {
      {"bytes 100-199/200", 100, 199, 200},
      {"bytes 0-9/10", 0, 9, 10},
      {"Bytes 5-9/*", 5, 9, -1},
      {"bytes  7-8/9", 7, 8, 9},
      {"bytes */20000", -1, -1, 20000},
      {"bytes 4294967294-4294967294/4294967295", 4294967294LL, 4294967294LL, 4294967295LL},
  };
  for (const Case& c : valid) {
    ContentRange range;
    ASSERT_TRUE(ParseContentRange(c.text, &range)) << c.text;
    EXPECT_EQ(range.hasFirst, c.first >= 0) << c.text;
    if (c.first >= 0) {
      EXPECT_EQ(range.first, c.first) << c.text;
      EXPECT_EQ(range.last, c.last) << c.text;
    }
    EXPECT_EQ(range.hasTotal, c.total >= 0) << c.text;
    if (c.total >= 0) {
      EXPECT_EQ(range.total, c.total) << c.text;
    }
  }
  const char* invalid[] = {
      "bytes */*",     "bytes 4294967296-1/2", "bytes 0-4294967296/*", "bytes 5-4/10", "bytes 5-10/10",
      "bytes -5/10",   "bytes 12",             "bytes 1-2",            "bytes 1-2/3 ", "bytes12-13/14",
      "items 1-2/3",   "byte 1-2/3",           "",                     "bytes 99999999999999999999-1/2",
  };
  for (const char* text : invalid) {
    ContentRange range;
    EXPECT_FALSE(ParseContentRange(text, &range)) << text;
  }
}

// The file name of a URL, stepping whole characters: a trail byte that
// looks like a backslash separates nothing.
TEST(UrlFileNameTest, TextBehindTheLastSeparator) {
  auto lead = [](unsigned char byte) { return byte >= 0x81 && byte <= 0x9F; };
  struct Case {
    const char* url;
    LeadByteTest isLead;
    const char* name;
  } cases[] = {
      {"http://host/a/b/setup.exe", NoLeadBytes, "setup.exe"},
      {"http://host\\dir\\setup.exe", NoLeadBytes, "setup.exe"},
      {"http://host/dir\\x/y.exe", NoLeadBytes, "y.exe"},
      {"setup.exe", NoLeadBytes, "setup.exe"},  // neither: the whole text
      {"http://host/", NoLeadBytes, ""},
      {"", NoLeadBytes, ""},
      {"http://host/\x81\\.exe", lead, "\x81\\.exe"},
      {"http://host/\x81\\.exe", NoLeadBytes, ".exe"},
  };
  for (const Case& c : cases) EXPECT_STREQ(UrlFileName(c.url, c.isLead), c.name) << c.url;

  String path;
  ASSERT_TRUE(LocalDownloadPath("C:\\dl", "http://h/a.exe", NoLeadBytes, &path));
  EXPECT_STREQ(path.c_str(), "C:\\dl\\a.exe");
  ASSERT_TRUE(LocalDownloadPath("C:\\dl\\", "a.exe", NoLeadBytes, &path));
  EXPECT_STREQ(path.c_str(), "C:\\dl\\a.exe");
  ASSERT_TRUE(LocalDownloadPath("C:\\\x81\\", "http://h/a.exe", lead, &path));
  EXPECT_STREQ(path.c_str(), "C:\\\x81\\\\a.exe");
}

class WorkerTest : public DownloadTest {
 protected:
  void Add(const char* url, int32_t exactSize) {
    DownloadItem item;
    ASSERT_TRUE(item.url.Assign(url));
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
  EXPECT_EQ(Messages(poster.posted()), (std::vector<std::string>{"1035:0"}));
  EXPECT_EQ(batch.result, WorkerFinished);
  EXPECT_EQ(http.calls, std::vector<std::string>{"session"});
}

// Without a session: DL_OPEN_FAILED with 0, result 4, every item Pending.
TEST_F(WorkerTest, NoSession) {
  ASSERT_TRUE(batch.folder.Assign("C:\\dl\\"));
  Add("http://h/a.exe", 10);
  http.sessionFails = true;
  RunHere();
  EXPECT_EQ(Messages(poster.posted()), (std::vector<std::string>{"1029:0"}));
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
            (std::vector<std::string>{"1026:0", "1027:100", "1028:0", "1026:1", "1034:100", "1026:2", "1027:50",
                                      "1031:2", "1026:3", "1030:3", "1026:4", "1027:100", "1028:4", "1035:0"}));
  EXPECT_EQ(Statuses(), (std::vector<DownloadStatus>{DownloadStatus::Done, DownloadStatus::Failed,
                                                      DownloadStatus::Failed, DownloadStatus::Failed,
                                                      DownloadStatus::Done}));
  EXPECT_EQ(batch.result, WorkerFinished);
  EXPECT_TRUE(files.files["C:\\dl\\a.exe"] == Body(100));
  EXPECT_EQ(files.files.count("C:\\dl\\b.exe"), 0u);
}

// A URL that cannot be opened stops the worker: result 2, no DL_ALL_DONE,
// the items behind it stay Pending.
TEST_F(WorkerTest, UnopenableUrlStopsTheRun) {
  ASSERT_TRUE(batch.folder.Assign("C:\\dl\\"));
  http.resources["http://h/a.exe"].body = Body(100);
  http.resources["http://h/b.exe"].status = 404;
  http.resources["http://h/c.exe"].body = Body(100);
  Add("http://h/a.exe", 100);
  Add("http://h/b.exe", 100);
  Add("http://h/c.exe", 100);
  RunHere();
  EXPECT_EQ(Messages(poster.posted()),
            (std::vector<std::string>{"1026:0", "1027:100", "1028:0", "1026:1", "1029:1"}));
  EXPECT_EQ(Statuses(), (std::vector<DownloadStatus>{DownloadStatus::Done, DownloadStatus::Failed,
                                                      DownloadStatus::Pending}));
  EXPECT_EQ(batch.result, WorkerStoppedEarly);
  EXPECT_EQ(http.openHandles(), 0);
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
  EXPECT_EQ(Messages(poster.posted()), (std::vector<std::string>{"1026:0", "1027:100", "1028:0", "1026:1",
                                                                 "1027:100", "1028:1", "1035:0"}));
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
            (std::vector<std::string>{"1026:0", "1027:8192", "1032:0"}));
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
// DL_WRONG_SIZE, as a wrong size does, and the file is left empty; a file
// already at full size is fetched again whole. No Sha256, any content.
TEST_F(WorkerTest, FinishedFileMustMatchItsSha256) {
  const Bytes body = Body();
  Bytes other = body;
  other[12345] ^= 1;
  PosixSha256Service sha256;
  services.sha256 = &sha256;
  const std::string right = testing::DigestInPieces(sha256, std::string(body.begin(), body.end()), 8192);
  const std::vector<std::string> whole = {"1026:0", "1027:8192", "1027:8192", "1027:3616"};
  struct Case {
    const Bytes& served;
    bool fileExists;
    Bytes before;
    std::string sha256;
    bool done;
    std::vector<std::string> messages;  // after those of `whole`, or of a resumption
  } cases[] = {
      {body, false, {}, right, true, {"1028:0"}},
      {other, false, {}, right, false, {"1034:20000"}},
      {other, false, {}, "", true, {"1028:0"}},
      {body, false, {}, "-", false, {"1034:20000"}},
      {body, true, Prefix(body, 15000), right, true, {"1028:0"}},        // resumed, right
      {body, true, other, right, true, {"1028:0"}},                      // full size, fetched again
      {body, true, Prefix(other, 15000), right, false, {"1034:20000"}},  // resumed from bad bytes
  };
  ASSERT_TRUE(batch.folder.Assign("C:\\dl\\"));
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << &c - cases);
    http.resources[kUrl].body = c.served;
    files.files.erase(kPath);
    if (c.fileExists) files.files[kPath] = c.before;
    poster.Clear();
    batch.items.Clear();
    Add(kUrl, 20000);
    ASSERT_TRUE(batch.items[0].sha256.Assign(c.sha256.c_str()));
    RunHere();
    bool resumed = c.fileExists && c.before.size() < 20000;
    std::vector<std::string> messages =
        resumed ? std::vector<std::string>{"1026:0", "1027:15000", "1027:5000"} : whole;
    messages.insert(messages.end(), c.messages.begin(), c.messages.end());
    messages.push_back("1035:0");
    EXPECT_EQ(Messages(poster.posted()), messages);
    EXPECT_EQ(batch.items[0].status, c.done ? DownloadStatus::Done : DownloadStatus::Failed);
    EXPECT_TRUE(files.files[kPath] == (c.done ? c.served : Bytes())) << files.files[kPath].size();
  }
  // The emptied file is fetched whole by the next run, not continued.
  http.calls.clear();
  RunHere();
  EXPECT_EQ(http.calls, (std::vector<std::string>{"session", "GET http://host/files/setup.exe"}));
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
