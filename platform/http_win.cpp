#include "platform/http_win.h"

#include <stdlib.h>
#include <string.h>

#include "base/buffer.h"
#include "base/decimal.h"
#include "platform/system_library_win.h"

namespace korvelt {

struct Win32HttpService::Handle {
  HINTERNET internet;  // the session, or the request
  HINTERNET connect;   // the request's connection; null for a session
  WindowId owner;      // a session's: whom a proxy's sign-in dialog belongs to
};

namespace {

using Handle = Win32HttpService::Handle;

Handle* AsHandle(HttpId handle) { return reinterpret_cast<Handle*>(handle); }

// Every request is fetched anew (no answer from the local cache, and
// caching proxies are asked to pass it on), and none is stored in the
// user's internet cache: a setup file is written once, where it belongs.
// Redirects are followed here, by rule; WinInet shows no window of its own.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_UI |
                                INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;

// How often a proxy's sign-in dialog is shown for one request.
constexpr int kSignInTries = 3;

template <typename Function>
bool Resolve(HMODULE library, const char* name, Function* function) {
  *function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *function != nullptr;
}

bool IsRedirect(uint32_t status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Whether `url` starts with `scheme` ("https:"), case aside.
bool HasScheme(const char* url, const char* scheme) {
  for (; *scheme; ++scheme, ++url) {
    if ((*url | 0x20) != *scheme && *url != *scheme) return false;
  }
  return true;
}

// A send made on a thread of its own, so that a server that stops in the
// middle of the handshake or before its headers, where WinInet's own
// timeouts do not always reach, cannot hold the caller. The caller waits
// for it a limited time and may leave it; whichever of the two lets go of
// the call last frees it.
struct SendCall {
  volatile LONG holders;
  decltype(&HttpSendRequestA) send;
  HINTERNET request;
  char headers[40];
  bool hasHeaders;
  BOOL sent;
  DWORD error;
};

void Release(SendCall* call) {
  if (InterlockedDecrement(&call->holders) == 0) free(call);
}

DWORD WINAPI SendMain(void* parameter) {
  auto* call = static_cast<SendCall*>(parameter);
  call->sent = call->send(call->request, call->hasHeaders ? call->headers : nullptr,
                          call->hasHeaders ? static_cast<DWORD>(-1) : 0, nullptr, 0);
  call->error = call->sent ? 0 : GetLastError();
  Release(call);
  return 0;
}

}  // namespace

void FormatRangeHeader(uint32_t from, char* header) {
  static const char kStart[] = "Range: bytes=";
  memcpy(header, kStart, sizeof kStart - 1);
  char* at = header + sizeof kStart - 1;
  at = WriteDecimal(at, from);
  memcpy(at, "-\r\n", 4);
}

HttpFailure ClassifyHttpError(DWORD code) {
  switch (code) {
    case ERROR_INTERNET_TIMEOUT:
    case WSAETIMEDOUT:
      return HttpFailure::Timeout;
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
      return HttpFailure::Certificate;
    default:
      return HttpFailure::Unreachable;
  }
}

bool RedirectAllowed(const char* from, const char* to) {
  if (HasScheme(to, "https:")) return true;
  return HasScheme(to, "http:") && !HasScheme(from, "https:");
}

Win32HttpService::~Win32HttpService() {
  if (library_ && !keepLibrary_) FreeLibrary(library_);
}

bool Win32HttpService::Load() {
  if (library_) return true;
  HMODULE library = LoadSystemLibrary("wininet.dll");
  if (!library) return false;
  if (!Resolve(library, "InternetOpenA", &internetOpen_) || !Resolve(library, "InternetSetOptionA", &setOption_) ||
      !Resolve(library, "InternetCrackUrlA", &crackUrl_) || !Resolve(library, "InternetCombineUrlA", &combineUrl_) ||
      !Resolve(library, "InternetConnectA", &connect_) || !Resolve(library, "HttpOpenRequestA", &openRequest_) ||
      !Resolve(library, "HttpSendRequestA", &sendRequest_) || !Resolve(library, "HttpQueryInfoA", &queryInfo_) ||
      !Resolve(library, "InternetReadFile", &readFile_) || !Resolve(library, "InternetCloseHandle", &closeHandle_) ||
      !Resolve(library, "InternetErrorDlg", &errorDialog_)) {
    FreeLibrary(library);
    return false;
  }
  library_ = library;
  return true;
}

HttpId Win32HttpService::OpenSession(WindowId owner) {
  if (!Load()) return 0;
  auto* session = static_cast<Handle*>(malloc(sizeof(Handle)));
  if (!session) return 0;
  HINTERNET internet = internetOpen_("Korvelt", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!internet) {
    free(session);
    return 0;
  }
  *session = Handle{internet, nullptr, owner};
  return reinterpret_cast<HttpId>(session);
}

HttpId Win32HttpService::OpenUrl(HttpId session, const char* url, uint32_t from, HttpAnswer* answer) {
  *answer = HttpAnswer();
  String current;
  if (!current.Assign(url)) return 0;
  for (uint32_t redirects = 0;; ++redirects) {
    Handle* request = Send(*AsHandle(session), current.c_str(), from, answer);
    if (!request) return 0;
    if (!IsRedirect(answer->status)) {
      if (!answer->finalUrl.Assign(current)) break;
      return reinterpret_cast<HttpId>(request);
    }
    // A redirect with no place to go, one too many, or one that leaves
    // https for http ends the request: a loop ends within kMaxRedirects.
    String location;
    bool located = QueryText(request->internet, HTTP_QUERY_LOCATION, &location) && !location.Empty();
    Close(reinterpret_cast<HttpId>(request));
    String next;
    DWORD length = 0;
    if (located) {
      combineUrl_(current.c_str(), location.c_str(), nullptr, &length, ICU_ENCODE_SPACES_ONLY);
      HeapBuffer combined(length + 1);
      DWORD size = static_cast<DWORD>(combined.Size());
      located = combined.Size() > length &&
                combineUrl_(current.c_str(), location.c_str(), reinterpret_cast<char*>(combined.Bytes()), &size,
                            ICU_ENCODE_SPACES_ONLY) &&
                next.Assign(reinterpret_cast<char*>(combined.Bytes()), size);
    }
    answer->status = 0;
    answer->error = HttpError{HttpFailure::Redirects, 0};
    if (!located || redirects == kMaxRedirects || !RedirectAllowed(current.c_str(), next.c_str())) break;
    current = static_cast<String&&>(next);
  }
  answer->finalUrl.Assign(current);
  return 0;
}

// One request to `url`, with its timeouts set, sent, and, where a proxy
// asks for credentials and there is a window to ask from, signed in.
Handle* Win32HttpService::Send(Handle& session, const char* url, uint32_t from, HttpAnswer* answer) {
  // The parts are pointers into the URL and lengths.
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUserNameLength = parts.dwPasswordLength = 1;
  parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
  answer->error = HttpError{HttpFailure::Unreachable, 0};
  if (!crackUrl_(url, 0, 0, &parts)) {
    answer->error.code = GetLastError();
    return nullptr;
  }
  bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  if ((!secure && parts.nScheme != INTERNET_SCHEME_HTTP) || parts.dwHostNameLength == 0) return nullptr;
  String host, user, password, object;
  if (!host.Assign(parts.lpszHostName, parts.dwHostNameLength) ||
      !user.Assign(parts.lpszUserName ? parts.lpszUserName : "", parts.dwUserNameLength) ||
      !password.Assign(parts.lpszPassword ? parts.lpszPassword : "", parts.dwPasswordLength)) {
    return nullptr;
  }
  // The path and the query go to the server; the fragment is the
  // client's own.
  const char* path = parts.dwUrlPathLength ? parts.lpszUrlPath : parts.lpszExtraInfo;
  if (path) {
    const char* end = path;
    while (*end && *end != '#') ++end;
    if (!object.Assign(path, static_cast<size_t>(end - path))) return nullptr;
  }
  if (object.Empty() || object[0] != '/') {
    String rooted;
    if (!rooted.Assign("/") || !rooted.Append(object)) return nullptr;
    object = static_cast<String&&>(rooted);
  }

  auto* request = static_cast<Handle*>(malloc(sizeof(Handle)));
  if (!request) return nullptr;
  *request = Handle{nullptr, nullptr, 0};
  request->connect = connect_(session.internet, host.c_str(), parts.nPort, user.Empty() ? nullptr : user.c_str(),
                              password.Empty() ? nullptr : password.c_str(), INTERNET_SERVICE_HTTP, 0, 0);
  if (request->connect) {
    request->internet = openRequest_(request->connect, "GET", object.c_str(), nullptr, nullptr, nullptr,
                                     kRequestFlags | (secure ? INTERNET_FLAG_SECURE : 0), 0);
  }
  if (!request->internet) {
    answer->error.code = GetLastError();
    Close(reinterpret_cast<HttpId>(request));
    return nullptr;
  }
  // WinInet's own timeouts hold a stalled body; they are set on the
  // request itself, where every WinInet takes them.
  static const DWORD kTimeouts[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                                    INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                                    INTERNET_OPTION_DATA_RECEIVE_TIMEOUT};
  DWORD limit = kHttpStallMilliseconds;
  for (DWORD option : kTimeouts) setOption_(request->internet, option, &limit, sizeof limit);
  char range[40];
  const char* headers = nullptr;
  if (from > 0) {
    FormatRangeHeader(from, range);
    headers = range;
  }
  bool sent = SendWatched(request->internet, headers, &answer->error) &&
              QueryNumber(reinterpret_cast<HttpId>(request), HTTP_QUERY_STATUS_CODE, &answer->status);
  if (sent && answer->status == HTTP_STATUS_PROXY_AUTH_REQ && session.owner) {
    sent = SignIn(session, request->internet, headers, &answer->error) &&
           QueryNumber(reinterpret_cast<HttpId>(request), HTTP_QUERY_STATUS_CODE, &answer->status);
  }
  if (!sent) {
    // A response without an HTTP status is not one we take.
    answer->status = 0;
    Close(reinterpret_cast<HttpId>(request));
    return nullptr;
  }
  answer->error = HttpError();
  return request;
}

bool Win32HttpService::SendWatched(HINTERNET request, const char* headers, HttpError* error) {
  DWORD start = GetTickCount();
  BOOL sent = FALSE;
  DWORD code = 0;
  auto* call = static_cast<SendCall*>(malloc(sizeof(SendCall)));
  HANDLE thread = nullptr;
  if (call) {
    *call = SendCall{2, sendRequest_, request, {}, headers != nullptr, FALSE, 0};
    if (headers) memcpy(call->headers, headers, strlen(headers) + 1);
    thread = CreateThread(nullptr, 0, SendMain, call, 0, nullptr);
    if (!thread) free(call);
  }
  if (thread) {
    DWORD waited = WaitForSingleObject(thread, kHttpStallMilliseconds);
    CloseHandle(thread);
    if (waited != WAIT_OBJECT_0) {
      // The send is left to end on its own, inside wininet.dll.
      keepLibrary_ = true;
      Release(call);
      *error = HttpError{HttpFailure::Timeout, ERROR_INTERNET_TIMEOUT};
      return false;
    }
    sent = call->sent;
    code = call->error;
    Release(call);
  } else {
    // Without a thread to spare, the send is made here, held only by
    // WinInet's own timeouts.
    sent = sendRequest_(request, headers, headers ? static_cast<DWORD>(-1) : 0, nullptr, 0);
    code = sent ? 0 : GetLastError();
  }
  if (sent) return true;
  // A send that failed only once the whole limit had passed stalled,
  // whatever code WinInet gives for it.
  HttpFailure failure = GetTickCount() - start >= kHttpStallMilliseconds ? HttpFailure::Timeout : ClassifyHttpError(code);
  *error = HttpError{failure, code};
  return false;
}

// Shows the system's sign-in dialog for a proxy that asked for
// credentials, and sends the request again with what the user gave,
// until the proxy takes them or the user gives up. WinInet keeps the
// credentials for the session; they are never written anywhere by us.
bool Win32HttpService::SignIn(Handle& session, HINTERNET request, const char* headers, HttpError* error) {
  for (int tries = 0; tries < kSignInTries; ++tries) {
    DWORD choice = errorDialog_(reinterpret_cast<HWND>(session.owner), request, ERROR_INTERNET_INCORRECT_PASSWORD,
                                FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA |
                                    FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS,
                                nullptr);
    if (choice != ERROR_INTERNET_FORCE_RETRY) return true;
    // The refusal's page is read away before the request goes again.
    char page[1024];
    DWORD count = 0;
    while (readFile_(request, page, sizeof page, &count) && count) {
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!SendWatched(request, headers, error) ||
        !queryInfo_(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) {
      return false;
    }
    if (status != HTTP_STATUS_PROXY_AUTH_REQ) return true;
  }
  return true;
}

bool Win32HttpService::QueryNumber(HttpId request, DWORD query, uint32_t* value) {
  DWORD number = 0;
  DWORD size = sizeof number;
  if (!queryInfo_(AsHandle(request)->internet, query | HTTP_QUERY_FLAG_NUMBER, &number, &size, nullptr)) return false;
  *value = number;
  return true;
}

bool Win32HttpService::QueryText(HINTERNET request, DWORD query, String* text) {
  DWORD size = 0;
  queryInfo_(request, query, nullptr, &size, nullptr);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  HeapBuffer buffer(size + 1);
  DWORD got = static_cast<DWORD>(buffer.Size());
  if (buffer.Size() <= size || !queryInfo_(request, query, buffer.Bytes(), &got, nullptr) || got >= buffer.Size()) {
    return false;
  }
  return text->Assign(reinterpret_cast<char*>(buffer.Bytes()), got);
}

bool Win32HttpService::ContentLength(HttpId request, uint32_t* length) {
  return QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH, length);
}

bool Win32HttpService::ContentRange(HttpId request, String* text) {
  // A sound Content-Range is "bytes first-last/total": far shorter than this.
  char buffer[128];
  DWORD size = sizeof buffer;
  if (!queryInfo_(AsHandle(request)->internet, HTTP_QUERY_CONTENT_RANGE, buffer, &size, nullptr)) return false;
  if (size >= sizeof buffer) return false;
  return text->Assign(buffer, size);
}

bool Win32HttpService::Read(HttpId request, void* into, uint32_t size, uint32_t* done, HttpError* error) {
  DWORD count = 0;
  BOOL ok = readFile_(AsHandle(request)->internet, into, size, &count);
  *done = count;
  if (!ok) {
    DWORD code = GetLastError();
    HttpFailure failure = ClassifyHttpError(code);
    *error = HttpError{failure == HttpFailure::Timeout ? failure : HttpFailure::Broken, code};
  }
  return ok != FALSE;
}

void Win32HttpService::Close(HttpId handle) {
  Handle* closing = AsHandle(handle);
  if (closing->internet) closeHandle_(closing->internet);
  if (closing->connect) closeHandle_(closing->connect);
  free(closing);
}

}  // namespace korvelt
