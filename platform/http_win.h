// HTTP on WinInet. wininet.dll is loaded from the system folder on the
// first session and released with the service, so that the bootstrapper
// never imports it: a wininet.dll planted beside a setup is never loaded.
//
// Each request is made step by step (connection, request, send) rather
// than by InternetOpenUrl, so that its timeouts apply to it, its redirects
// are followed by rule, and a proxy that asks for credentials can be
// answered on the same request.
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

  HttpId OpenSession(WindowId owner) override;
  HttpId OpenUrl(HttpId session, const char* url, uint32_t from, HttpAnswer* answer) override;
  bool ContentLength(HttpId request, uint32_t* length) override;
  bool ContentRange(HttpId request, String* text) override;
  bool Read(HttpId request, void* into, uint32_t size, uint32_t* done, HttpError* error) override;
  void Close(HttpId handle) override;

  // What a session or a request is behind its HttpId.
  struct Handle;

 private:
  bool Load();
  bool QueryNumber(HttpId request, DWORD query, uint32_t* value);
  bool QueryText(HINTERNET request, DWORD query, String* text);
  Handle* Send(Handle& session, const char* url, uint32_t from, HttpAnswer* answer);
  bool SendWatched(HINTERNET request, const char* headers, HttpError* error);
  bool SignIn(Handle& session, HINTERNET request, const char* headers, HttpError* error);

  HMODULE library_ = nullptr;
  // A send left to a server that never answered may still be inside
  // wininet.dll when the service goes: the library then stays loaded.
  bool keepLibrary_ = false;
  decltype(&InternetOpenA) internetOpen_ = nullptr;
  decltype(&InternetSetOptionA) setOption_ = nullptr;
  decltype(&InternetCrackUrlA) crackUrl_ = nullptr;
  decltype(&InternetCombineUrlA) combineUrl_ = nullptr;
  decltype(&InternetConnectA) connect_ = nullptr;
  decltype(&HttpOpenRequestA) openRequest_ = nullptr;
  decltype(&HttpSendRequestA) sendRequest_ = nullptr;
  decltype(&HttpQueryInfoA) queryInfo_ = nullptr;
  decltype(&InternetReadFile) readFile_ = nullptr;
  decltype(&InternetCloseHandle) closeHandle_ = nullptr;
  decltype(&InternetErrorDlg) errorDialog_ = nullptr;
};

// The request header that asks for the bytes from `from` on:
// "Range: bytes=<from>-" and a line end. `header` holds at least 40 bytes.
void FormatRangeHeader(uint32_t from, char* header);

// What a WinInet or socket error code says happened.
HttpFailure ClassifyHttpError(DWORD code);

// Whether a redirect from `from` to `to` (absolute URLs) may be followed:
// only to http or https, and never from https down to http.
bool RedirectAllowed(const char* from, const char* to);

}  // namespace korvelt
