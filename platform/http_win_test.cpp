#include "platform/http_win.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/clock_win.h"
#include "platform/files_win.h"
#include "platform/message_poster_win.h"
#include "platform/threads_win.h"
#include "testing/win32/http_server.h"

namespace korvelt {
namespace {

using testing::ServedBody;
using testing::HttpRequest;
using testing::TestHttpServer;

// The first byte a "Range: bytes=s-" header asks for, or -1.
long long RangeStart(const HttpRequest& request) {
  std::string range = request.Header("Range");
  if (range.rfind("bytes=", 0) != 0) return -1;
  return std::stoll(range.substr(6));
}

// The server's paths: /file honours ranges, /whole ignores them, /short
// stops halfway, /nolength sends no length, /missing is a 404 page,
// /moved redirects to /file.
std::string Answer(const HttpRequest& request) {
  const std::string body = ServedBody();
  const std::string length = "Content-Length: " + std::to_string(body.size()) + "\r\n";
  if (request.path == "/file") {
    long long from = RangeStart(request);
    if (from < 0) return TestHttpServer::Response("200 OK", length, body);
    if (from >= static_cast<long long>(body.size())) {
      return TestHttpServer::Response("416 Range Not Satisfiable",
                                      "Content-Range: bytes */" + std::to_string(body.size()) + "\r\nContent-Length: 0\r\n",
                                      "");
    }
    std::string rest = body.substr(static_cast<size_t>(from));
    return TestHttpServer::Response("206 Partial Content",
                                    "Content-Length: " + std::to_string(rest.size()) + "\r\nContent-Range: bytes " +
                                        std::to_string(from) + "-" + std::to_string(body.size() - 1) + "/" +
                                        std::to_string(body.size()) + "\r\n",
                                    rest);
  }
  if (request.path == "/whole") return TestHttpServer::Response("200 OK", length, body);
  if (request.path == "/nolength") return TestHttpServer::Response("200 OK", "", body);
  if (request.path == "/moved") return TestHttpServer::Response("302 Found", "Location: /file\r\nContent-Length: 0\r\n", "");
  // /hopN redirects to /hop(N-1), and /hop0 to /file: N + 1 redirects.
  if (request.path.rfind("/hop", 0) == 0) {
    int left = std::stoi(request.path.substr(4));
    std::string next = left > 0 ? "/hop" + std::to_string(left - 1) : "/file";
    return TestHttpServer::Response("307 Temporary Redirect", "Location: " + next + "\r\nContent-Length: 0\r\n", "");
  }
  if (request.path == "/loop") return TestHttpServer::Response("302 Found", "Location: loop\r\nContent-Length: 0\r\n", "");
  if (request.path == "/nowhere") return TestHttpServer::Response("302 Found", "Location: \r\nContent-Length: 0\r\n", "");
  if (request.path == "/proxy") {
    return TestHttpServer::Response("407 Proxy Authentication Required",
                                    "Proxy-Authenticate: Basic realm=\"test\"\r\nContent-Length: 0\r\n", "");
  }
  std::string page = "<html>not here</html>";
  return TestHttpServer::Response("404 Not Found", "Content-Length: " + std::to_string(page.size()) + "\r\n", page);
}

class WinInetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Running());
    session = http.OpenSession(0);
    ASSERT_NE(session, 0u);
  }
  void TearDown() override {
    if (session) http.Close(session);
  }
  // Opens `path`, from byte `from`, and reads the whole body.
  std::string Fetch(const std::string& path, uint32_t from, uint32_t* status) {
    HttpAnswer answer;
    HttpId request = http.OpenUrl(session, server.Url(path).c_str(), from, &answer);
    *status = answer.status;
    if (!request) return "(no response)";
    std::string body;
    char chunk[8192];
    uint32_t done = 0;
    HttpError error;
    while (http.Read(request, chunk, sizeof chunk, &done, &error) && done) body.append(chunk, done);
    http.Close(request);
    return body;
  }

  TestHttpServer server{Answer};
  Win32HttpService http;
  HttpId session = 0;
};

// A plain request: status 200, the numeric length, the whole body, the
// agent "Korvelt", no range, and nothing asked of a cache.
TEST_F(WinInetTest, PlainRequest) {
  HttpAnswer answer;
  HttpId request = http.OpenUrl(session, server.Url("/file").c_str(), 0, &answer);
  ASSERT_NE(request, 0u);
  EXPECT_EQ(answer.status, 200u);
  uint32_t length = 0;
  EXPECT_TRUE(http.ContentLength(request, &length));
  EXPECT_EQ(length, 30000u);
  String range;
  EXPECT_FALSE(http.ContentRange(request, &range));
  http.Close(request);
  ASSERT_EQ(server.Requests().size(), 1u);
  const HttpRequest seen = server.Requests()[0];
  EXPECT_EQ(seen.path, "/file");
  EXPECT_EQ(seen.Header("User-Agent"), "Korvelt");
  EXPECT_EQ(seen.Header("Range"), "");
  EXPECT_EQ(seen.Header("Pragma"), "no-cache");
}

// A range request is a real one: the server sees "Range: bytes=s-", and
// its 206 comes back with the Content-Range and the rest of the body.
TEST_F(WinInetTest, RangeRequest) {
  HttpAnswer answer;
  HttpId request = http.OpenUrl(session, server.Url("/file").c_str(), 12000, &answer);
  ASSERT_NE(request, 0u);
  EXPECT_EQ(answer.status, 206u);
  uint32_t length = 0;
  EXPECT_TRUE(http.ContentLength(request, &length));
  EXPECT_EQ(length, 18000u);
  String range;
  ASSERT_TRUE(http.ContentRange(request, &range));
  EXPECT_STREQ(range.c_str(), "bytes 12000-29999/30000");
  http.Close(request);
  EXPECT_EQ(server.Requests().back().Header("Range"), "bytes=12000-");

  // Asked from its end, the server tells where the resource ends.
  request = http.OpenUrl(session, server.Url("/file").c_str(), 30000, &answer);
  ASSERT_NE(request, 0u);
  EXPECT_EQ(answer.status, 416u);
  ASSERT_TRUE(http.ContentRange(request, &range));
  EXPECT_STREQ(range.c_str(), "bytes */30000");
  http.Close(request);

  uint32_t status = 0;
  EXPECT_EQ(Fetch("/file", 29999, &status), ServedBody().substr(29999));
  EXPECT_EQ(status, 206u);
  // A server that ignores the range answers 200 with everything.
  EXPECT_EQ(Fetch("/whole", 100, &status), ServedBody());
  EXPECT_EQ(status, 200u);
}

// The final status after a redirect, an error page's status, no length,
// and a server nobody listens at.
TEST_F(WinInetTest, StatusesAndFailures) {
  uint32_t status = 0;
  EXPECT_EQ(Fetch("/moved", 0, &status), ServedBody());
  EXPECT_EQ(status, 200u);
  EXPECT_EQ(Fetch("/missing", 0, &status), "<html>not here</html>");
  EXPECT_EQ(status, 404u);

  HttpAnswer answer;
  HttpId request = http.OpenUrl(session, server.Url("/nolength").c_str(), 0, &answer);
  ASSERT_NE(request, 0u);
  uint32_t length = 0;
  EXPECT_FALSE(http.ContentLength(request, &length));
  http.Close(request);

  // A port that was just free: nothing answers there.
  std::string nobody;
  {
    TestHttpServer closed{Answer};
    nobody = closed.Url("/file");
  }
  EXPECT_EQ(http.OpenUrl(session, nobody.c_str(), 0, &answer), 0u);
  EXPECT_EQ(answer.error.failure, HttpFailure::Unreachable);
}

// Redirects are followed by rule: ten of them, relative ones included, but
// not an eleventh; a loop and an empty Location end at once as redirect
// failures; where the redirects led is told.
TEST_F(WinInetTest, RedirectsBounded) {
  const struct {
    const char* path;
    uint32_t status;
    HttpFailure failure;
    size_t requests;
  } cases[] = {
      {"/hop9", 200, HttpFailure::None, 11},
      {"/hop10", 0, HttpFailure::Redirects, 11},
      {"/loop", 0, HttpFailure::Redirects, 11},
      {"/nowhere", 0, HttpFailure::Redirects, 1},
  };
  for (const auto& c : cases) {
    size_t before = server.Requests().size();
    HttpAnswer answer;
    HttpId request = http.OpenUrl(session, server.Url(c.path).c_str(), 0, &answer);
    EXPECT_EQ(request != 0, c.status != 0) << c.path;
    if (request) {
      EXPECT_EQ(answer.finalUrl.c_str(), server.Url("/file")) << c.path;
      http.Close(request);
    }
    EXPECT_EQ(answer.status, c.status) << c.path;
    EXPECT_EQ(answer.error.failure, c.failure) << c.path;
    EXPECT_EQ(server.Requests().size() - before, c.requests) << c.path;
  }
}

// The fragment stays with the client; a range request keeps its range
// across a redirect; a proxy's 407 in a run without a window comes back as
// it is, nobody asked.
TEST_F(WinInetTest, FragmentRangeAndProxyRefusal) {
  uint32_t status = 0;
  EXPECT_EQ(Fetch("/file#part", 0, &status), ServedBody());
  EXPECT_EQ(server.Requests().back().path, "/file");
  EXPECT_EQ(Fetch("/moved", 29000, &status), ServedBody().substr(29000));
  EXPECT_EQ(status, 206u);
  EXPECT_EQ(server.Requests().back().Header("Range"), "bytes=29000-");
  HttpAnswer answer;
  HttpId request = http.OpenUrl(session, server.Url("/proxy").c_str(), 0, &answer);
  ASSERT_NE(request, 0u);
  EXPECT_EQ(answer.status, 407u);
  http.Close(request);
}

// Which redirects may be followed, and what each error code says.
TEST(HttpRulesTest, RedirectsAndErrors) {
  const struct {
    const char* from;
    const char* to;
    bool allowed;
  } redirects[] = {
      {"http://a/x", "https://b/y", true},  {"http://a/x", "http://b/y", true},
      {"https://a/x", "https://b/y", true}, {"https://a/x", "http://a/x", false},
      {"HTTPS://a/x", "HTTP://a/x", false}, {"http://a/x", "ftp://a/x", false},
      {"http://a/x", "file:///c:/x", false},
  };
  for (const auto& c : redirects) EXPECT_EQ(RedirectAllowed(c.from, c.to), c.allowed) << c.from << " -> " << c.to;
  const struct {
    DWORD code;
    HttpFailure failure;
  } codes[] = {
      {ERROR_INTERNET_TIMEOUT, HttpFailure::Timeout},      {WSAETIMEDOUT, HttpFailure::Timeout},
      {ERROR_INTERNET_INVALID_CA, HttpFailure::Certificate}, {ERROR_INTERNET_SEC_CERT_DATE_INVALID, HttpFailure::Certificate},
      {ERROR_INTERNET_SEC_CERT_CN_INVALID, HttpFailure::Certificate}, {ERROR_INTERNET_SEC_CERT_REV_FAILED, HttpFailure::Certificate},
      {ERROR_INTERNET_CANNOT_CONNECT, HttpFailure::Unreachable}, {ERROR_INTERNET_NAME_NOT_RESOLVED, HttpFailure::Unreachable},
  };
  for (const auto& c : codes) EXPECT_EQ(ClassifyHttpError(c.code), c.failure) << c.code;
}

// The range header is written without the C library.
TEST(FormatRangeHeaderTest, Digits) {
  const struct {
    uint32_t from;
    const char* header;
  } cases[] = {{1, "Range: bytes=1-\r\n"}, {12000, "Range: bytes=12000-\r\n"},
               {4294967295u, "Range: bytes=4294967295-\r\n"}};
  for (const auto& c : cases) {
    char header[40];
    FormatRangeHeader(c.from, header);
    EXPECT_STREQ(header, c.header);
  }
}

}  // namespace
}  // namespace korvelt
