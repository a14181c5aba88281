#include "download/fetch.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "testing/download_fixture.h"

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

// The requests among `calls`, kUrl written "u": "GET u from 9000".
std::vector<std::string> Requests(const std::vector<std::string>& calls) {
  std::vector<std::string> requests;
  for (const std::string& call : calls) {
    if (call == "session") continue;
    std::string shortened = call;
    size_t at = shortened.find(kUrl);
    if (at != std::string::npos) shortened.replace(at, sizeof kUrl - 1, "u");
    requests.push_back(shortened);
  }
  return requests;
}

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
       {"DL_PROGRESS:8192", "DL_PROGRESS:8192", "DL_PROGRESS:3616"}},
      {"no length", [](FakeResource& r) { r.sendsLength = false; }, false, {}, 0, DL_COMPLETE, true, body, {"GET u"},
       {"DL_PROGRESS:8192", "DL_PROGRESS:8192", "DL_PROGRESS:3616"}},
      {"small reads", [](FakeResource& r) { r.chunk = 7000; }, false, {}, 20000, DL_COMPLETE, true, body, {"GET u"},
       {"DL_PROGRESS:7000", "DL_PROGRESS:7000", "DL_PROGRESS:6000"}},
      // The size is checked before the local file is touched.
      {"wrong size", [](FakeResource&) {}, false, {}, 19999, DL_SIZE_REJECTED, false, {}, {"GET u"}, {"DL_WRONG_SIZE:20000"}},
      {"wrong size keeps a partial file", [](FakeResource&) {}, true, Prefix(body, 100), 1, DL_SIZE_REJECTED, true,
       Prefix(body, 100), {"GET u from 100"}, {"DL_WRONG_SIZE:20000"}},
      // An error page is never the file, with or without a length.
      {"404 of the right length", [](FakeResource& r) { r.status = 404; }, false, {}, 20000, DL_NOT_SERVED, false, {},
       {"GET u"}, {}},
      {"404 without length", [](FakeResource& r) { r.status = 404; r.sendsLength = false; }, false, {}, 20000,
       DL_NOT_SERVED, false, {}, {"GET u"}, {}},
      {"500", [](FakeResource& r) { r.status = 500; }, false, {}, 20000, DL_NOT_SERVED, false, {}, {"GET u"}, {}},
      {"302 not followed", [](FakeResource& r) { r.status = 302; }, false, {}, 20000, DL_NOT_SERVED, false, {},
       {"GET u"}, {}},
      // Already complete: the server says nothing is missing; one report
      // of the size, nothing read.
      {"complete on disk", [](FakeResource&) {}, true, body, 20000, DL_COMPLETE, true, body, {"GET u from 20000"},
       {"DL_PROGRESS:20000"}},
      {"complete, ranges ignored", [](FakeResource& r) { r.ignoresRanges = true; }, true, body, 20000, DL_COMPLETE,
       true, body, {"GET u from 20000"}, {"DL_PROGRESS:20000"}},
      {"416 without Content-Range", [](FakeResource& r) { r.sendsContentRange = false; }, true, body, 20000,
       DL_NOT_SERVED, true, body, {"GET u from 20000"}, {}},
      {"empty file, empty resource", [](FakeResource& r) { r.body.clear(); }, true, {}, 0, DL_COMPLETE, true, {},
       {"GET u"}, {"DL_PROGRESS:0"}},
      // A partial file is continued from its end by a verified range, and
      // only the missing bytes are asked for.
      {"resumed", [](FakeResource&) {}, true, Prefix(body, 10000), 20000, DL_COMPLETE, true, body,
       {"GET u from 10000"}, {"DL_PROGRESS:10000", "DL_PROGRESS:8192", "DL_PROGRESS:1808"}},
      {"resumed without length", [](FakeResource& r) { r.sendsLength = false; }, true, Prefix(body, 10000), 0,
       DL_COMPLETE, true, body, {"GET u from 10000"}, {"DL_PROGRESS:10000", "DL_PROGRESS:8192", "DL_PROGRESS:1808"}},
      {"resumed, wrong size", [](FakeResource&) {}, true, Prefix(body, 10000), 30000, DL_SIZE_REJECTED, true,
       Prefix(body, 10000), {"GET u from 10000"}, {"DL_WRONG_SIZE:20000"}},
      // A server that ignores the range sends the whole body: the file is
      // written again from its first byte, never spliced.
      {"range ignored", [](FakeResource& r) { r.ignoresRanges = true; }, true, Bytes(10000, 0xEE), 20000, DL_COMPLETE,
       true, body, {"GET u from 10000"}, {"DL_PROGRESS:8192", "DL_PROGRESS:8192", "DL_PROGRESS:3616"}},
      {"range at another start", [](FakeResource& r) { r.rangeStartShown = 0; }, true, Prefix(body, 10000), 20000,
       DL_NOT_SERVED, true, Prefix(body, 10000), {"GET u from 10000"}, {}},
      {"206 without Content-Range", [](FakeResource& r) { r.sendsContentRange = false; }, true, Prefix(body, 10000),
       20000, DL_NOT_SERVED, true, Prefix(body, 10000), {"GET u from 10000"}, {}},
      {"range refused", [](FakeResource& r) { r.rangeStatus = 500; }, true, Prefix(body, 10000), 20000, DL_NOT_SERVED,
       true, Prefix(body, 10000), {"GET u from 10000"}, {}},
      {"error page for the range", [](FakeResource& r) { r.status = 404; }, true, Prefix(body, 10000), 20000,
       DL_NOT_SERVED, true, Prefix(body, 10000), {"GET u from 10000"}, {}},
      // A longer file is written again from its first byte and shortened.
      {"longer file", [](FakeResource&) {}, true, old, 20000, DL_COMPLETE, true, body, {"GET u from 25000", "GET u"},
       {"DL_PROGRESS:8192", "DL_PROGRESS:8192", "DL_PROGRESS:3616"}},
      {"longer file, wrong size", [](FakeResource&) {}, true, old, 19000, DL_SIZE_REJECTED, true, old,
       {"GET u from 25000", "GET u"}, {"DL_WRONG_SIZE:20000"}},
      // Without a length an empty file proves nothing: the body is fetched.
      {"empty file, no length", [](FakeResource& r) { r.sendsLength = false; }, true, {}, 0, DL_COMPLETE, true, body,
       {"GET u"}, {"DL_PROGRESS:8192", "DL_PROGRESS:8192", "DL_PROGRESS:3616"}},
      // A body is never written past the size expected: a longer one is
      // another file, and it is emptied.
      {"long body", [](FakeResource& r) { r.announcedLength = 15000; }, false, {}, 15000, DL_SIZE_REJECTED, true, {},
       {"GET u"}, {"DL_PROGRESS:8192", "DL_WRONG_SIZE:16384"}},
      // Without a length the body must come to the size expected; one that
      // ends at any other size is no file to run, nor a part to continue
      // (a sign-in page looks no different from a broken transfer): it is
      // emptied. Without an ExactSize any body is taken.
      {"no length, exact size", [](FakeResource& r) { r.sendsLength = false; }, false, {}, 20000, DL_COMPLETE, true,
       body, {"GET u"}, {"DL_PROGRESS:8192", "DL_PROGRESS:8192", "DL_PROGRESS:3616"}},
      {"no length, longer", [](FakeResource& r) { r.sendsLength = false; }, false, {}, 19999, DL_SIZE_REJECTED, true,
       {}, {"GET u"}, {"DL_PROGRESS:8192", "DL_PROGRESS:8192", "DL_WRONG_SIZE:20000"}},
      {"no length, far longer", [](FakeResource& r) { r.sendsLength = false; }, false, {}, 9000, DL_SIZE_REJECTED,
       true, {}, {"GET u"}, {"DL_PROGRESS:8192", "DL_WRONG_SIZE:16384"}},
      {"no length, shorter", [](FakeResource& r) { r.sendsLength = false; }, false, {}, 44486, DL_SIZE_REJECTED, true,
       {}, {"GET u"}, {"DL_PROGRESS:8192", "DL_PROGRESS:8192", "DL_PROGRESS:3616", "DL_WRONG_SIZE:20000"}},
      {"no length, cut short", [](FakeResource& r) { r.sendsLength = false; r.cutAt = 15000; }, false, {}, 20000,
       DL_SIZE_REJECTED, true, {}, {"GET u"}, {"DL_PROGRESS:8192", "DL_PROGRESS:6808", "DL_WRONG_SIZE:15000"}},
      {"no length, resumed to another size", [](FakeResource& r) { r.sendsLength = false; }, true, Prefix(body, 10000),
       25000, DL_SIZE_REJECTED, true, {}, {"GET u from 10000"},
       {"DL_PROGRESS:10000", "DL_PROGRESS:8192", "DL_PROGRESS:1808", "DL_WRONG_SIZE:20000"}},
      {"no length, no ExactSize", [](FakeResource& r) { r.sendsLength = false; r.cutAt = 15000; }, false, {}, 0,
       DL_COMPLETE, true, Prefix(body, 15000), {"GET u"}, {"DL_PROGRESS:8192", "DL_PROGRESS:6808"}},
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
    EXPECT_EQ(Requests(http.calls), c.requests);
    EXPECT_FALSE(http.overlappingRequests);
    EXPECT_EQ(Messages(poster.posted()), c.messages);
    EXPECT_EQ(http.openHandles(), 0);
    EXPECT_EQ(files.openHandles(), 0);
  }
}

// A body that breaks off (here after 9,000 bytes in the first response) is
// asked for again from the end of the file after waits of 1, 2 and 4 s,
// with the checks of a resume. The file, the requests, the sleeps, the
// progress shown, and the report of each.
TEST_F(DownloadTest, RetriesAfterABrokenBody) {
  const Bytes body = Body();
  const std::vector<std::string> once = {"GET u", "GET u from 9000"};
  struct Case {
    const char* name;
    std::function<void(FakeResource&)> server;
    uint32_t outcome;
    size_t kept;  // the file holds that much of the body
    std::vector<std::string> requests;
    std::vector<uint32_t> waits;
    std::vector<uintptr_t> progress;
    uint32_t retries, status;
    uint64_t received;
    HttpFailure error;
    int abortAtSleep = 0;
  } cases[] = {
      {"206", [](FakeResource&) {}, DL_COMPLETE, 20000, once, {1000}, {8192, 808, 8192, 2808}, 1, 206, 20000,
       HttpFailure::Broken},
      {"stalls four times", [](FakeResource& r) { r.faultyResponses = 4; r.readError = {HttpFailure::Timeout, 0}; },
       DL_READ_FAILED, 9000, {"GET u", "GET u from 9000", "GET u from 9000", "GET u from 9000"}, {1000, 2000, 4000},
       {8192, 808}, 3, 206, 9000, HttpFailure::Timeout},
      {"503", [](FakeResource& r) { r.rangeStatus = 503; }, DL_READ_FAILED, 9000, once, {1000}, {8192, 808}, 1, 503,
       9000, HttpFailure::Broken},
      // The whole body again: the file is written anew, and the progress
      // holds until it is longer than it was.
      {"200", [](FakeResource& r) { r.ignoresRanges = true; }, DL_COMPLETE, 20000, once, {1000},
       {8192, 808, 0, 7384, 3616}, 1, 200, 29000, HttpFailure::Broken},
      {"206 from another byte", [](FakeResource& r) { r.rangeStartShown = 0; }, DL_READ_FAILED, 9000, once, {1000},
       {8192, 808}, 1, 206, 9000, HttpFailure::Broken},
      {"no response", [](FakeResource& r) { r.answeredRequests = 1; }, DL_READ_FAILED, 9000, once, {1000},
       {8192, 808}, 1, 0, 9000, HttpFailure::Unreachable},
      {"abort in the wait", [](FakeResource&) {}, DL_ABORTED, 9000, {"GET u"}, {300}, {8192, 808}, 0, 200, 9000,
       HttpFailure::Broken, 3},
      // The server closed the connection short of its length.
      {"short body", [](FakeResource& r) { r.readFailsAt = SIZE_MAX; r.cutAt = 15000; }, DL_COMPLETE, 20000,
       {"GET u", "GET u from 15000"}, {1000}, {8192, 6808, 5000}, 1, 206, 20000, HttpFailure::Broken},
      {"no length", [](FakeResource& r) { r.sendsLength = false; }, DL_COMPLETE, 20000, once, {1000},
       {8192, 808, 8192, 2808}, 1, 206, 20000, HttpFailure::Broken},
      // Broken after the last byte: the server says nothing is missing.
      {"at the end", [](FakeResource& r) { r.readFailsAt = 20000; }, DL_COMPLETE, 20000,
       {"GET u", "GET u from 20000"}, {1000}, {8192, 8192, 3616}, 1, 416, 20000, HttpFailure::Broken},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    http.resources.clear();
    http.calls.clear();
    files.files.clear();
    poster.Clear();
    threads.sleeps.clear();
    control = 0;
    FakeResource& resource = http.resources[kUrl];
    resource.body = body;
    resource.readFailsAt = 9000;
    resource.faultyResponses = 1;
    c.server(resource);
    threads.onSleep = [&, slept = 0]() mutable {
      if (++slept == c.abortAtSleep) control |= ABORT_FLAG;
    };

    EXPECT_EQ(Fetch(20000), c.outcome);
    EXPECT_TRUE(files.files[kPath] == Prefix(body, c.kept)) << "file of " << files.files[kPath].size() << " bytes";
    EXPECT_EQ(Requests(http.calls), c.requests);
    std::vector<uint32_t> steps;
    for (uint32_t wait : c.waits) steps.insert(steps.end(), wait / kRetryWaitStep, kRetryWaitStep);
    EXPECT_EQ(threads.sleeps, steps);
    std::vector<std::string> progress;
    for (uintptr_t bytes : c.progress) progress.push_back("DL_PROGRESS:" + std::to_string(bytes));
    EXPECT_EQ(Messages(poster.posted()), progress);
    EXPECT_EQ(report.retries, c.retries);
    EXPECT_EQ(report.status, c.status);
    EXPECT_EQ(report.received, c.received);
    EXPECT_EQ(report.error.failure, c.error);
    EXPECT_EQ(report.outcome, c.outcome);
    EXPECT_EQ(http.openHandles(), 0);
    EXPECT_EQ(files.openHandles(), 0);
  }
  threads.onSleep = nullptr;
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

// The time between two times of day, the later one past midnight or not.
TEST(ElapsedMillisecondsTest, AcrossMidnight) {
  struct Case {
    uint32_t t0, t1, elapsed;
  } cases[] = {
      {1000, 1000, 0}, {1000, 3500, 2500}, {86399999, 0, 1}, {86399000, 500, 1500}, {1, 0, 86399999},
  };
  for (const Case& c : cases) EXPECT_EQ(ElapsedMilliseconds(c.t0, c.t1), c.elapsed) << c.t0 << " to " << c.t1;
}

// The first chunk's time runs from before the local file was opened, each
// later one from the chunk before; the report of an existing part carries 0.
// The time of the whole fetch runs from before its request.
TEST_F(DownloadTest, ProgressCarriesEachChunksSpeed) {
  const Bytes body = Body();
  http.resources[kUrl].body = body;
  files.files[kPath] = Prefix(body, 3616);
  clock.times = {86399800, 1000, 1500, 2000, 2700};
  EXPECT_EQ(Fetch(20000), DL_COMPLETE);
  std::vector<PostedMessage> posted = poster.posted();
  ASSERT_EQ(posted.size(), 3u);
  EXPECT_EQ(posted[0], (PostedMessage{kWindow, DL_PROGRESS, 3616, 0}));
  EXPECT_EQ(posted[1], (PostedMessage{kWindow, DL_PROGRESS, 8192, 1600}));  // 8 KB in 0.5 s
  EXPECT_EQ(posted[2], (PostedMessage{kWindow, DL_PROGRESS, 8192, 1600}));
  EXPECT_EQ(clock.next, 5u) << "one time before the request, one before the file, one per chunk, one at the end";
  // The report's time runs from the request, here just before midnight.
  EXPECT_EQ(report.milliseconds, 2900u);
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

}  // namespace
}  // namespace korvelt
