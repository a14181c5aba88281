// A small HTTP server on 127.0.0.1 for Win32 tests, on a thread of its
// own: it takes one connection at a time, reads the request's head, writes
// down the path and headers, sends what the test's handler answers and
// closes the connection.
#pragma once

#include <windows.h>
#include <winsock.h>

#include <functional>
#include <string>
#include <vector>

namespace korvelt::testing {

// 30,000 bytes that differ from position to position: the body the HTTP
// tests serve.
inline std::string ServedBody() {
  std::string body(30000, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i * 7 % 26);
  return body;
}

struct HttpRequest {
  std::string path;
  std::string head;  // the request line and headers as sent
  std::string Header(const std::string& name) const {
    std::string key = "\r\n" + name + ": ";
    size_t at = head.find(key);
    if (at == std::string::npos) return std::string();
    at += key.size();
    return head.substr(at, head.find("\r\n", at) - at);
  }
};

class TestHttpServer {
 public:
  // Answers each request with the bytes the handler gives.
  using Handler = std::function<std::string(const HttpRequest&)>;

  explicit TestHttpServer(Handler handler) : handler_(std::move(handler)) {
    InitializeCriticalSection(&lock_);
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
    started_ = true;
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (listener_ == INVALID_SOCKET || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener_, 8) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = CreateThread(nullptr, 0, &TestHttpServer::Main, this, 0, nullptr);
  }
  ~TestHttpServer() {
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
    if (thread_) {
      WaitForSingleObject(thread_, INFINITE);
      CloseHandle(thread_);
    }
    if (started_) WSACleanup();
    DeleteCriticalSection(&lock_);
  }
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  bool Running() const { return thread_ != nullptr; }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  std::vector<HttpRequest> Requests() {
    EnterCriticalSection(&lock_);
    std::vector<HttpRequest> copy = requests_;
    LeaveCriticalSection(&lock_);
    return copy;
  }

  // A response with a status line, headers (each ending in CRLF) and body.
  static std::string Response(const std::string& status, const std::string& headers, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\n" + headers + "Connection: close\r\n\r\n" + body;
  }

 private:
  static DWORD WINAPI Main(void* self) {
    static_cast<TestHttpServer*>(self)->Serve();
    return 0;
  }

  void Serve() {
    for (;;) {
      SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) return;
      std::string head;
      char buffer[4096];
      while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        int count = recv(client, buffer, sizeof buffer, 0);
        if (count <= 0) break;
        head.append(buffer, count);
      }
      HttpRequest request;
      request.head = head.substr(0, head.find("\r\n\r\n") + 2);
      size_t space = head.find(' ');
      if (space != std::string::npos) request.path = head.substr(space + 1, head.find(' ', space + 1) - space - 1);
      EnterCriticalSection(&lock_);
      requests_.push_back(request);
      LeaveCriticalSection(&lock_);
      std::string answer = handler_(request);
      for (size_t sent = 0; sent < answer.size();) {
        int count = send(client, answer.data() + sent, static_cast<int>(answer.size() - sent), 0);
        if (count <= 0) break;
        sent += static_cast<size_t>(count);
      }
      shutdown(client, 1);  // no more sends
      closesocket(client);
    }
  }

  Handler handler_;
  CRITICAL_SECTION lock_;
  bool started_ = false;
  SOCKET listener_ = INVALID_SOCKET;
  unsigned short port_ = 0;
  HANDLE thread_ = nullptr;
  std::vector<HttpRequest> requests_;
};

}  // namespace korvelt::testing
