// Fetching a file over HTTP, as the download worker does: one session for
// a run, one request at a time, the body read in chunks.
#pragma once

#include <stdint.h>

#include "base/scoped.h"
#include "base/string.h"

namespace korvelt {

// An open session or request as the service names it; 0 is none.
using HttpId = uintptr_t;

class HttpService {
 public:
  // Opens a session with the agent "Korvelt" and the system's proxy
  // settings; 0 when it cannot.
  virtual HttpId OpenSession() = 0;
  // Sends a GET for `url` that no cache may answer and follows redirects;
  // with `from` above 0 it asks only for the bytes from that offset on (a
  // range request), which the server is free to ignore. `status` receives
  // the final response's status code. 0 when no response came.
  virtual HttpId OpenUrl(HttpId session, const char* url, uint32_t from, uint32_t* status) = 0;
  // The response's Content-Length; false when it gives none.
  virtual bool ContentLength(HttpId request, uint32_t* length) = 0;
  // The response's Content-Range header as the server sent it; false when
  // it has none.
  virtual bool ContentRange(HttpId request, String* text) = 0;
  // Reads up to `size` bytes of the body; `done` is how many came, 0 with
  // true at its end.
  virtual bool Read(HttpId request, void* into, uint32_t size, uint32_t* done) = 0;
  // Closes a request or a session this service opened, exactly once.
  virtual void Close(HttpId handle) = 0;

 protected:
  ~HttpService() = default;
};

using ScopedHttp = Scoped<HttpService, HttpId>;

}  // namespace korvelt
