#include "testing/fake_http.h"

#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>

namespace korvelt::testing {

FakeHttpService::~FakeHttpService() {
  for (const auto& [id, handle] : handles_) {
    ADD_FAILURE() << (handle.isSession ? "session" : "request for " + handle.url) << " left open";
  }
}

FakeHttpService::Handle* FakeHttpService::Find(HttpId handle) {
  auto found = handles_.find(handle);
  if (found == handles_.end()) {
    ADD_FAILURE() << "use of an HTTP handle that is not open: " << handle;
    return nullptr;
  }
  return &found->second;
}

int FakeHttpService::openHandles() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(handles_.size());
}

HttpId FakeHttpService::OpenSession(WindowId owner) {
  std::lock_guard<std::mutex> lock(mutex_);
  sessionOwner = owner;
  calls.push_back("session");
  if (sessionFails) return 0;
  HttpId id = next_++;
  handles_[id] = Handle{true, ""};
  return id;
}

HttpId FakeHttpService::OpenUrl(HttpId session, const char* url, uint32_t from, HttpAnswer* answer) {
  *answer = HttpAnswer();
  std::lock_guard<std::mutex> lock(mutex_);
  calls.push_back("GET " + std::string(url) + (from ? " from " + std::to_string(from) : ""));
  Handle* owner = Find(session);
  if (!owner || !owner->isSession) return 0;
  for (const auto& [id, handle] : handles_) {
    if (!handle.isSession) overlappingRequests = true;
  }
  auto found = resources.find(url);
  if (found == resources.end()) {
    answer->error.failure = HttpFailure::Unreachable;
    return 0;
  }
  FakeResource& resource = found->second;
  if (resource.answeredRequests >= 0 && resource.requestsMade >= resource.answeredRequests) {
    answer->error.failure = HttpFailure::Unreachable;
    return 0;
  }
  ++resource.requestsMade;

  Handle request{false, url};
  request.faulty = resource.faultyResponses < 0 || resource.requestsMade <= resource.faultyResponses;
  size_t size = resource.body.size();
  request.status = resource.status;
  request.next = 0;
  if (from > 0 && resource.status == 200 && !resource.ignoresRanges) {
    request.status = from >= size ? 416 : resource.rangeStatus;
    // Without a length the server does not know where the resource ends.
    std::string total = resource.sendsLength ? std::to_string(size) : "*";
    if (request.status == 206) {
      request.next = from;
      long long shown = resource.rangeStartShown >= 0 ? resource.rangeStartShown : from;
      request.contentRange = "bytes " + std::to_string(shown) + "-" + std::to_string(size - 1) + "/" + total;
    } else {
      // A page of its own, as servers send with their error statuses.
      request.page = "<html><body>" + std::to_string(request.status) + "</body></html>";
      if (request.status == 416) request.contentRange = "bytes */" + std::to_string(size);
    }
    if (!resource.sendsContentRange) request.contentRange.clear();
  }
  if (request.page.empty()) {
    request.end = std::max(request.next, std::min(size, request.faulty ? resource.cutAt : SIZE_MAX));
  } else {
    request.end = request.page.size();
    request.faulty = false;
  }
  request.sendsLength = resource.sendsLength;
  // A body cut short still announces its whole length.
  long long sent = static_cast<long long>(request.page.empty() ? size - request.next : request.page.size());
  request.length = static_cast<uint32_t>(resource.announcedLength >= 0 ? resource.announcedLength : sent);
  answer->status = request.status;
  if (!answer->finalUrl.Assign(url)) return 0;
  HttpId id = next_++;
  handles_[id] = request;
  return id;
}

bool FakeHttpService::ContentLength(HttpId request, uint32_t* length) {
  std::lock_guard<std::mutex> lock(mutex_);
  Handle* handle = Find(request);
  if (!handle || handle->isSession || !handle->sendsLength) return false;
  *length = handle->length;
  return true;
}

bool FakeHttpService::ContentRange(HttpId request, String* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  Handle* handle = Find(request);
  if (!handle || handle->isSession || handle->contentRange.empty()) return false;
  return text->Assign(handle->contentRange.c_str());
}

bool FakeHttpService::Read(HttpId request, void* into, uint32_t size, uint32_t* done, HttpError* error) {
  *done = 0;
  if (beforeRead) beforeRead();
  ++reads;
  std::lock_guard<std::mutex> lock(mutex_);
  readSizes.push_back(size);
  Handle* handle = Find(request);
  if (!handle || handle->isSession) return false;
  const FakeResource& resource = resources[handle->url];
  size_t failsAt = handle->faulty ? resource.readFailsAt : SIZE_MAX;
  if (handle->next >= failsAt) {
    *error = resource.readError;
    return false;
  }
  size_t count = std::min<size_t>(size, handle->end - handle->next);
  if (resource.chunk) count = std::min<size_t>(count, resource.chunk);
  // A failing read gives what came before the failure first.
  if (failsAt != SIZE_MAX) count = std::min(count, failsAt - handle->next);
  const unsigned char* body = handle->page.empty() ? resource.body.data()
                                                  : reinterpret_cast<const unsigned char*>(handle->page.data());
  if (count) memcpy(into, body + handle->next, count);
  handle->next += count;
  bytesSent += count;
  *done = static_cast<uint32_t>(count);
  return true;
}

void FakeHttpService::Close(HttpId handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_.count(handle)) {
    ADD_FAILURE() << "HTTP handle closed twice: " << handle;
    return;
  }
  if (!Find(handle)) return;
  handles_.erase(handle);
  closed_.insert(handle);
}

}  // namespace korvelt::testing
