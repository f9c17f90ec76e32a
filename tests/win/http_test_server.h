#pragma once

#include <windows.h>

#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/scoped_owner.h"

struct SocketTraits {
  using Handle = SOCKET;
  static Handle Null() { return INVALID_SOCKET; }
  static void Close(Handle s) { ::closesocket(s); }
};
using ScopedSocket = ScopedOwner<SocketTraits>;

// An HTTP server on 127.0.0.1 for tests, on threads of the test program: each request's path
// picks a scripted response, and every exchange is recorded for the test to look at.
class HttpTestServer {
 public:
  static constexpr uint64_t kEndless = UINT64_MAX;
  struct Response {
    int status = 200;
    std::string contentType = "application/octet-stream";
    std::string body;  // sent first
    // Bytes of filler after body: with pieceDelayMs, in pieces of kSlowPieceBytes that far apart,
    // else as fast as the client reads. kEndless sends until the client goes (no Content-Length
    // then: the body ends with the connection).
    uint64_t fillerBytes = 0;
    DWORD pieceDelayMs = 0;
    // Without a Content-Length the body ends with the connection.
    bool sendLength = true;
    // The connection closes after this many bytes of the body, whatever the length said.
    uint64_t closeAfterBytes = kEndless;
    std::string location;  // a Location header, for redirects
  };
  // One request, answered.
  struct Exchange {
    std::string path;
    bool complete = false;  // the whole body went out; false when the client went first
  };
  static constexpr size_t kSlowPieceBytes = 4096;

  // Listens on a port the system picks; Listening() says whether that worked.
  HttpTestServer();
  ~HttpTestServer();  // ends the exchanges still running, and waits for them
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  bool Listening() const { return listener_.IsValid(); }
  // A path with no script gets a 404 with an empty body.
  void Script(const std::string& path, Response response);
  // "http://127.0.0.1:<port><path>"; path starts with '/'.
  std::wstring Url(const std::string& path) const;

  // Requests read so far, answered or not.
  size_t Requests() const { return requests_; }
  // Waits until count exchanges have ended; false when the time runs out first.
  bool WaitForExchanges(size_t count, DWORD timeoutMs) const;
  std::vector<Exchange> Exchanges() const;

 private:
  void Accept();
  void Answer(ScopedSocket client);
  // Waits up to waitMs for the socket to be ready; false once the server is stopping.
  bool Ready(SOCKET s, bool forWrite, DWORD waitMs = 50) const;
  // Waits between pieces; false once the server stops or the client has gone.
  bool Pause(SOCKET s, DWORD ms) const;
  bool SendAll(SOCKET s, const char* data, size_t size) const;

  bool winsock_ = false;
  ScopedSocket listener_;
  unsigned short port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<size_t> requests_{0};
  mutable std::mutex mutex_;
  std::map<std::string, Response> script_;
  std::vector<Exchange> exchanges_;
  std::vector<std::thread> answering_;  // touched by the accepting thread, then the destructor
  std::thread acceptor_;
};
