// HTTP on WinInet. wininet.dll is loaded from the system folder on the
// first session and released with the service, so that the bootstrapper
// never imports it: a wininet.dll planted beside a setup is never loaded.
#pragma once

#include <windows.h>

#include <wininet.h>

#include "platform/http.h"

namespace korvelt {

class Win32HttpService final : public HttpService {
 public:
  Win32HttpService() = default;
  ~Win32HttpService();
  Win32HttpService(const Win32HttpService&) = delete;
  Win32HttpService& operator=(const Win32HttpService&) = delete;

  HttpId OpenSession() override;
  HttpId OpenUrl(HttpId session, const char* url, uint32_t from, uint32_t* status) override;
  bool ContentLength(HttpId request, uint32_t* length) override;
  bool ContentRange(HttpId request, String* text) override;
  bool Read(HttpId request, void* into, uint32_t size, uint32_t* done) override;
  void Close(HttpId handle) override;

 private:
  bool Load();
  bool QueryNumber(HttpId request, DWORD query, uint32_t* value);

  HMODULE library_ = nullptr;
  decltype(&InternetOpenA) internetOpen_ = nullptr;
  decltype(&InternetOpenUrlA) openUrl_ = nullptr;
  decltype(&HttpQueryInfoA) queryInfo_ = nullptr;
  decltype(&InternetReadFile) readFile_ = nullptr;
  decltype(&InternetCloseHandle) closeHandle_ = nullptr;
};

// The request header that asks for the bytes from `from` on:
// "Range: bytes=<from>-" and a line end. `header` holds at least 40 bytes.
void FormatRangeHeader(uint32_t from, char* header);

}  // namespace korvelt
