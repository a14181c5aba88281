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

HttpId FakeHttpService::OpenSession() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls.push_back("session");
  if (sessionFails) return 0;
  HttpId id = next_++;
  handles_[id] = Handle{true, ""};
  return id;
}

HttpId FakeHttpService::OpenUrl(HttpId session, const char* url, uint32_t from, uint32_t* status) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls.push_back("GET " + std::string(url) + (from ? " from " + std::to_string(from) : ""));
  Handle* owner = Find(session);
  if (!owner || !owner->isSession) return 0;
  for (const auto& [id, handle] : handles_) {
    if (!handle.isSession) overlappingRequests = true;
  }
  auto found = resources.find(url);
  if (found == resources.end()) return 0;
  const FakeResource& resource = found->second;

  Handle request{false, url};
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
      request.next = size;  // an answer without a body
      if (request.status == 416) request.contentRange = "bytes */" + std::to_string(size);
    }
    if (!resource.sendsContentRange) request.contentRange.clear();
  }
  request.end = std::max(request.next, std::min(size, resource.cutAt));
  request.sendsLength = resource.sendsLength;
  request.length = static_cast<uint32_t>(resource.announcedLength >= 0 ? resource.announcedLength
                                                                        : static_cast<long long>(size - request.next));
  *status = request.status;
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

bool FakeHttpService::Read(HttpId request, void* into, uint32_t size, uint32_t* done) {
  *done = 0;
  if (beforeRead) beforeRead();
  ++reads;
  std::lock_guard<std::mutex> lock(mutex_);
  readSizes.push_back(size);
  Handle* handle = Find(request);
  if (!handle || handle->isSession) return false;
  const FakeResource& resource = resources[handle->url];
  if (handle->next >= resource.readFailsAt) return false;
  size_t count = std::min<size_t>(size, handle->end - handle->next);
  if (resource.chunk) count = std::min<size_t>(count, resource.chunk);
  // A failing read gives what came before the failure first.
  if (resource.readFailsAt != SIZE_MAX) count = std::min(count, resource.readFailsAt - handle->next);
  if (count) memcpy(into, resource.body.data() + handle->next, count);
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
