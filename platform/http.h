// Fetching a file over HTTP, as the download worker does: one session for
// a run, one request at a time, the body read in chunks.
#pragma once

#include <stdint.h>

#include "base/scoped.h"
#include "base/string.h"
#include "platform/message_poster.h"

namespace korvelt {

// An open session or request as the service names it; 0 is none.
using HttpId = uintptr_t;

// Why a request or a read came to nothing.
enum class HttpFailure : uint32_t {
  None = 0,
  Unreachable = 1,  // no connection, or no HTTP answer; the platform's code says why
  Timeout = 2,      // nothing came for kHttpStallMilliseconds
  Certificate = 3,  // the server's certificate is not trusted, has expired or names another host
  Redirects = 4,    // too many, a loop, an empty Location, or a step down from https to http
  Broken = 5,       // the connection broke off in the body
};

// A failure and the platform's own code for it (0 when it has none).
struct HttpError {
  HttpFailure failure = HttpFailure::None;
  uint32_t code = 0;
};

// What opening a URL came to.
struct HttpAnswer {
  uint32_t status = 0;  // the final response's status code; 0 when none came
  String finalUrl;      // where the redirects led; the URL itself without any
  HttpError error;      // why no response came
};

// A connection that brings no byte for this long has failed, whether it is
// connecting, waiting for the headers or in the body.
constexpr uint32_t kHttpStallMilliseconds = 30000;
// The most redirects one request follows.
constexpr uint32_t kMaxRedirects = 10;

class HttpService {
 public:
  // Opens a session with the agent "Korvelt" and the system's proxy
  // settings; 0 when it cannot. A proxy that asks for credentials gets
  // them from the system's sign-in dialog, owned by `owner`; with no owner
  // (a quiet run) nobody is asked and the request ends with its 407.
  virtual HttpId OpenSession(WindowId owner) = 0;
  // Sends a GET for `url` that no cache may answer and follows at most
  // kMaxRedirects redirects, never from https down to http; with `from`
  // above 0 it asks only for the bytes from that offset on (a range
  // request), which the server is free to ignore. 0 when no response came,
  // `answer->error` then saying why.
  virtual HttpId OpenUrl(HttpId session, const char* url, uint32_t from, HttpAnswer* answer) = 0;
  // The response's Content-Length; false when it gives none.
  virtual bool ContentLength(HttpId request, uint32_t* length) = 0;
  // The response's Content-Range header as the server sent it; false when
  // it has none.
  virtual bool ContentRange(HttpId request, String* text) = 0;
  // Reads up to `size` bytes of the body; `done` is how many came, 0 with
  // true at its end. False when the connection broke or stalled, `error`
  // saying which.
  virtual bool Read(HttpId request, void* into, uint32_t size, uint32_t* done, HttpError* error) = 0;
  // Closes a request or a session this service opened, exactly once.
  virtual void Close(HttpId handle) = 0;

 protected:
  ~HttpService() = default;
};

using ScopedHttp = Scoped<HttpService, HttpId>;

}  // namespace korvelt
