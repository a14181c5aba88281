// An HTTP service for unit tests that serves resources from memory and can
// be made to answer as any server might: any status, any announced length
// or none, a body cut short, a read that fails (in every response or only
// in the first few), no response after a number of requests, and range
// requests honoured, ignored or refused. Every session and request it opens must be
// closed exactly once: closing one twice, or leaving one open when the fake
// goes away, fails the running test.
#pragma once

#include <stdint.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/http.h"
#include "testing/fake_files.h"

namespace korvelt::testing {

struct FakeResource {
  Bytes body;
  uint32_t status = 200;
  // The Content-Length: the size of what is sent, unless another is set.
  bool sendsLength = true;
  long long announcedLength = -1;
  // A range request from a byte inside the body is answered with 206 and
  // the rest of it (its Content-Range's total "*" without a length), from
  // its end or beyond with 416 and "bytes */size", or with 200 and the
  // whole body when ranges are ignored; `rangeStatus` and `rangeStartShown`
  // (the first byte the Content-Range names, -1 for the one asked for)
  // make other answers. An answer other than 206 has a short page of its
  // own for its body, as servers send.
  bool ignoresRanges = false;
  uint32_t rangeStatus = 206;
  long long rangeStartShown = -1;
  bool sendsContentRange = true;
  // The body the server really sends ends at this offset of the resource.
  size_t cutAt = SIZE_MAX;
  // A read fails with `readError` once the response has reached this
  // offset of the resource.
  size_t readFailsAt = SIZE_MAX;
  HttpError readError{HttpFailure::Broken, 10054};
  // How many responses, from the first, are cut or fail as above; -1 is
  // every one. The later ones are whole.
  int faultyResponses = -1;
  // Requests after this many get no response at all; -1 is never.
  int answeredRequests = -1;
  int requestsMade = 0;
  // The most bytes one read gives; 0 is as many as asked.
  uint32_t chunk = 0;
};

class FakeHttpService final : public HttpService {
 public:
  ~FakeHttpService();

  HttpId OpenSession(WindowId owner) override;
  HttpId OpenUrl(HttpId session, const char* url, uint32_t from, HttpAnswer* answer) override;
  bool ContentLength(HttpId request, uint32_t* length) override;
  bool ContentRange(HttpId request, String* text) override;
  bool Read(HttpId request, void* into, uint32_t size, uint32_t* done, HttpError* error) override;
  void Close(HttpId handle) override;

  // The resources by URL; a URL that is not here cannot be opened.
  std::map<std::string, FakeResource> resources;
  bool sessionFails = false;
  // The owner the last session was opened with.
  WindowId sessionOwner = 0;
  // Called before each read is answered, on the reading thread.
  std::function<void()> beforeRead;

  // What happened, in order: "session", "GET url" or "GET url from N".
  std::vector<std::string> calls;
  std::vector<uint32_t> readSizes;
  std::atomic<int> reads{0};
  uint64_t bytesSent = 0;
  int openHandles() const;
  // More than one request open at once.
  bool overlappingRequests = false;

 private:
  struct Handle {
    bool isSession;
    std::string url;
    uint32_t status = 0;
    bool faulty = true;
    size_t next = 0;  // offset of the resource the next read gives
    size_t end = 0;   // where the body sent ends
    bool sendsLength = false;
    uint32_t length = 0;
    std::string contentRange;
    std::string page;  // the body of an answer that is not the resource's
  };
  Handle* Find(HttpId handle);

  mutable std::mutex mutex_;
  std::map<HttpId, Handle> handles_;
  std::set<HttpId> closed_;
  HttpId next_ = 1;
};

}  // namespace korvelt::testing
