#include "download/worker.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/clock_win.h"
#include "platform/files_win.h"
#include "platform/http_win.h"
#include "platform/message_poster_win.h"
#include "platform/threads_win.h"
#include "prereq/download_name.h"
#include "testing/win32/http_server.h"
#include "testing/win32/scratch_folder.h"

namespace korvelt {
namespace {

using testing::ServedBody;
using testing::HttpRequest;
using testing::TestHttpServer;

// The server's files: file.exe honours ranges, whole.exe ignores them,
// short.exe stops short of its length and refuses the range asked for
// then; anything else is a 404 page.
std::string Answer(const HttpRequest& request) {
  const std::string body = ServedBody();
  const std::string length = "Content-Length: " + std::to_string(body.size()) + "\r\n";
  std::string range = request.Header("Range");
  if (request.path == "/dl/file.exe" && range.rfind("bytes=", 0) == 0) {
    size_t from = static_cast<size_t>(std::stoll(range.substr(6)));
    if (from >= body.size()) {
      return TestHttpServer::Response("416 Range Not Satisfiable",
                                      "Content-Range: bytes */" + std::to_string(body.size()) + "\r\nContent-Length: 0\r\n",
                                      "");
    }
    std::string rest = body.substr(from);
    return TestHttpServer::Response("206 Partial Content",
                                    "Content-Length: " + std::to_string(rest.size()) + "\r\nContent-Range: bytes " +
                                        std::to_string(from) + "-" + std::to_string(body.size() - 1) + "/" +
                                        std::to_string(body.size()) + "\r\n",
                                    rest);
  }
  if (request.path == "/dl/file.exe" || request.path == "/dl/whole.exe") {
    return TestHttpServer::Response("200 OK", length, body);
  }
  if (request.path == "/dl/short.exe" && !range.empty()) {
    return TestHttpServer::Response("503 Service Unavailable", "Content-Length: 0\r\n", "");
  }
  if (request.path == "/dl/short.exe") return TestHttpServer::Response("200 OK", length, body.substr(0, 12345));
  std::string page = "<html>not here</html>";
  return TestHttpServer::Response("404 Not Found", "Content-Length: " + std::to_string(page.size()) + "\r\n", page);
}

// The whole silent download run on the real services: a partial file is
// continued from its end with one range request (and then found complete
// by a second item of its name), one whose server ignores ranges is
// written again, a body cut short is asked for again from where it broke
// off and, refused then, is no finished file, and a 404 fails its item
// alone.
TEST(WorkerOnTheSystemTest, SilentRun) {
  TestHttpServer server{Answer};
  ASSERT_TRUE(server.Running());
  Win32HttpService http;
  testing::ScratchFolder scratch("download");
  std::string body = ServedBody();
  ASSERT_TRUE(testing::WriteText(scratch.path() + "\\file.exe", body.substr(0, 10000)));
  ASSERT_TRUE(testing::WriteText(scratch.path() + "\\whole.exe", std::string(20000, 'x')));
  Win32FileSystem files;
  Win32Clock clock;
  Win32MessagePoster poster;
  Win32ThreadService threads;
  DownloadServices services{http, files, clock, poster, threads, SystemLeadByte};
  DownloadBatch batch;
  ASSERT_TRUE(batch.folder.Assign(scratch.path().c_str()));
  for (const char* path : {"/dl/file.exe", "/dl/file.exe", "/dl/whole.exe", "/dl/short.exe", "/dl/gone.exe",
                           "/dl/whole.exe"}) {
    DownloadItem item;
    ASSERT_TRUE(item.url.Assign(server.Url(path).c_str()));
    ASSERT_TRUE(LocalDownloadPath(batch.folder.c_str(), path, "", SystemLeadByte, &item.path));
    item.exactSize = 30000;
    ASSERT_TRUE(batch.items.Push(static_cast<DownloadItem&&>(item)));
  }
  EXPECT_EQ(RunDownloads(batch, services, nullptr), DownloadSucceeded);
  const DownloadStatus expected[] = {DownloadStatus::Done,   DownloadStatus::Done,   DownloadStatus::Done,
                                     DownloadStatus::Failed, DownloadStatus::Failed, DownloadStatus::Done};
  for (size_t i = 0; i < batch.items.Count(); ++i) EXPECT_EQ(batch.items[i].status, expected[i]) << i;
  EXPECT_EQ(testing::ReadText(scratch.path() + "\\file.exe"), body);
  EXPECT_EQ(testing::ReadText(scratch.path() + "\\whole.exe"), body);
  EXPECT_EQ(testing::ReadText(scratch.path() + "\\short.exe"), body.substr(0, 12345));
  uint64_t size = 0;
  EXPECT_FALSE(files.FindFile((scratch.path() + "\\gone.exe").c_str(), &size));

  std::vector<std::string> ranges;
  for (const HttpRequest& request : server.Requests()) ranges.push_back(request.path + " " + request.Header("Range"));
  EXPECT_EQ(ranges, (std::vector<std::string>{"/dl/file.exe bytes=10000-", "/dl/file.exe bytes=30000-",
                                              "/dl/whole.exe bytes=20000-", "/dl/short.exe ",
                                              "/dl/short.exe bytes=12345-", "/dl/gone.exe ",
                                              "/dl/whole.exe bytes=30000-"}));
  EXPECT_EQ(batch.items[0].report.resumedFrom, 10000u);
  EXPECT_EQ(batch.items[3].report.retries, 1u);
  EXPECT_EQ(batch.items[3].report.status, 503u);
}

}  // namespace
}  // namespace korvelt
