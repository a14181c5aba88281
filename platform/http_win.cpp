#include "platform/http_win.h"

#include <string.h>

#include "base/decimal.h"
#include "platform/system_library_win.h"

namespace korvelt {
namespace {

HINTERNET AsHandle(HttpId handle) { return reinterpret_cast<HINTERNET>(handle); }

// Every request is fetched anew (no answer from the local cache, and
// caching proxies are asked to pass it on), and none is stored in the
// user's internet cache: a setup file is written once, where it belongs.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_CACHE_WRITE;

template <typename Function>
bool Resolve(HMODULE library, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *function != nullptr;
}

}  // namespace

void FormatRangeHeader(uint32_t from, char* header) {
  static const char kStart[] = "Range: bytes=";
  memcpy(header, kStart, sizeof kStart - 1);
  char* at = header + sizeof kStart - 1;
  at = WriteDecimal(at, from);
  memcpy(at, "-\r\n", 4);
}

Win32HttpService::~Win32HttpService() {
  if (library_) FreeLibrary(library_);
}

bool Win32HttpService::Load() {
  if (library_) return true;
  HMODULE library = LoadSystemLibrary("wininet.dll");
  if (!library) return false;
  if (!Resolve(library, "InternetOpenA", &internetOpen_) || !Resolve(library, "InternetOpenUrlA", &openUrl_) ||
      !Resolve(library, "HttpQueryInfoA", &queryInfo_) || !Resolve(library, "InternetReadFile", &readFile_) ||
      !Resolve(library, "InternetCloseHandle", &closeHandle_)) {
    FreeLibrary(library);
    return false;
  }
  library_ = library;
  return true;
}

HttpId Win32HttpService::OpenSession() {
  if (!Load()) return 0;
  return reinterpret_cast<HttpId>(internetOpen_("Korvelt", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
}

HttpId Win32HttpService::OpenUrl(HttpId session, const char* url, uint32_t from, uint32_t* status) {
  char range[40];
  const char* headers = nullptr;
  if (from > 0) {
    FormatRangeHeader(from, range);
    headers = range;
  }
  HINTERNET request = openUrl_(AsHandle(session), url, headers, headers ? static_cast<DWORD>(-1) : 0, kRequestFlags, 0);
  if (!request) return 0;
  HttpId id = reinterpret_cast<HttpId>(request);
  // A response without an HTTP status (another scheme) is not one we take.
  if (!QueryNumber(id, HTTP_QUERY_STATUS_CODE, status)) {
    closeHandle_(request);
    return 0;
  }
  return id;
}

bool Win32HttpService::QueryNumber(HttpId request, DWORD query, uint32_t* value) {
  DWORD number = 0;
  DWORD size = sizeof number;
  if (!queryInfo_(AsHandle(request), query | HTTP_QUERY_FLAG_NUMBER, &number, &size, nullptr)) return false;
  *value = number;
  return true;
}

bool Win32HttpService::ContentLength(HttpId request, uint32_t* length) {
  return QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, length);
}

bool Win32HttpService::ContentRange(HttpId request, String* text) {
  // A sound Content-Range is "bytes first-last/total": far shorter than this.
  char buffer[128];
  DWORD size = sizeof buffer;
  if (!queryInfo_(AsHandle(request), HTTP_QUERY_CONTENT_RANGE, buffer, &size, nullptr)) return false;
  if (size >= sizeof buffer) return false;
  return text->Assign(buffer, size);
}

bool Win32HttpService::Read(HttpId request, void* into, uint32_t size, uint32_t* done) {
  DWORD count = 0;
  BOOL ok = readFile_(AsHandle(request), into, size, &count);
  *done = count;
  return ok != FALSE;
}

void Win32HttpService::Close(HttpId handle) { closeHandle_(AsHandle(handle)); }

}  // namespace korvelt
