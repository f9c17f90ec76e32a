#include "tests/win/http_test_server.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr size_t kMaxRequestBytes = 16 * 1024;
constexpr size_t kFastPieceBytes = 64 * 1024;

}  // namespace

HttpTestServer::HttpTestServer() {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  winsock_ = true;
  ScopedSocket listener(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(address);
  if (!listener || ::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listener.Get(), SOMAXCONN) != 0 ||
      ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return;
  }
  port_ = ntohs(address.sin_port);
  listener_ = std::move(listener);
  acceptor_ = std::thread([this] { Accept(); });
}

HttpTestServer::~HttpTestServer() {
  stopping_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  for (std::thread& thread : answering_) thread.join();
  listener_.Reset();
  if (winsock_) ::WSACleanup();
}

void HttpTestServer::Script(const std::string& path, Response response) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_[path] = std::move(response);
}

std::wstring HttpTestServer::Url(const std::string& path) const {
  return L"http://127.0.0.1:" + std::to_wstring(port_) + std::wstring(path.begin(), path.end());
}

bool HttpTestServer::WaitForExchanges(size_t count, DWORD timeoutMs) const {
  const ULONGLONG end = ::GetTickCount64() + timeoutMs;
  while (Exchanges().size() < count) {
    if (::GetTickCount64() > end) return false;
    ::Sleep(10);
  }
  return true;
}

std::vector<HttpTestServer::Exchange> HttpTestServer::Exchanges() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return exchanges_;
}

bool HttpTestServer::Ready(SOCKET s, bool forWrite, DWORD waitMs) const {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval wait{0, static_cast<long>(waitMs) * 1000};
  (void)::select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &wait);
  return !stopping_;
}

bool HttpTestServer::Pause(SOCKET s, DWORD ms) const {
  const ULONGLONG end = ::GetTickCount64() + ms;
  for (ULONGLONG now = ::GetTickCount64(); now < end; now = ::GetTickCount64()) {
    if (!Ready(s, false, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 50)))) return false;
    // The client sends nothing more: readable means it has gone.
    char byte;
    const int peeked = ::recv(s, &byte, 1, MSG_PEEK);
    if (peeked == 0 || (peeked < 0 && ::WSAGetLastError() != WSAEWOULDBLOCK)) return false;
  }
  return !stopping_;
}

bool HttpTestServer::SendAll(SOCKET s, const char* data, size_t size) const {
  while (size > 0) {
    const int sent = ::send(s, data, static_cast<int>(std::min(size, kFastPieceBytes)), 0);
    if (sent > 0) {
      data += sent;
      size -= sent;
    } else if (::WSAGetLastError() != WSAEWOULDBLOCK || !Ready(s, true)) {
      return false;
    }
  }
  return true;
}

void HttpTestServer::Accept() {
  u_long nonBlocking = 1;
  // Nothing here blocks, so that a stop is never missed.
  (void)::ioctlsocket(listener_.Get(), FIONBIO, &nonBlocking);
  while (Ready(listener_.Get(), false)) {
    ScopedSocket client(::accept(listener_.Get(), nullptr, nullptr));
    if (!client) continue;
    (void)::ioctlsocket(client.Get(), FIONBIO, &nonBlocking);
    answering_.emplace_back(
        [this, socket = std::move(client)]() mutable { Answer(std::move(socket)); });
  }
}

void HttpTestServer::Answer(ScopedSocket client) {
  // The request line is all that matters; its headers are read and dropped.
  std::string request;
  while (request.find("\r\n\r\n") == std::string::npos) {
    char buffer[1024];
    const int got = ::recv(client.Get(), buffer, sizeof(buffer), 0);
    if (got > 0) {
      request.append(buffer, got);
    } else if (got == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK ||
               request.size() > kMaxRequestBytes || !Ready(client.Get(), false)) {
      return;
    }
  }
  ++requests_;
  const size_t start = request.find(' ') + 1;
  Exchange exchange{request.substr(start, request.find(' ', start) - start)};
  Response response{404, "text/plain"};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (const auto scripted = script_.find(exchange.path); scripted != script_.end())
      response = scripted->second;
  }

  const bool endless = response.fillerBytes == kEndless;
  char head[256];
  std::snprintf(head, sizeof(head), "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nConnection: close\r\n",
                response.status, response.status < 400 ? "OK" : "Error",
                response.contentType.c_str());
  std::string header = head;
  if (!response.location.empty()) header += "Location: " + response.location + "\r\n";
  if (!endless && response.sendLength) {
    header +=
        "Content-Length: " + std::to_string(response.body.size() + response.fillerBytes) + "\r\n";
  }
  const std::string body = response.body.substr(
      0, static_cast<size_t>(std::min<uint64_t>(response.body.size(), response.closeAfterBytes)));
  uint64_t allowed =
      response.closeAfterBytes == kEndless ? kEndless : response.closeAfterBytes - body.size();
  header += "\r\n" + body;
  bool going = SendAll(client.Get(), header.data(), header.size());
  const std::string piece(response.pieceDelayMs != 0 ? kSlowPieceBytes : kFastPieceBytes, 'k');
  for (uint64_t left = response.fillerBytes; going && left > 0 && allowed > 0;) {
    const size_t size = static_cast<size_t>(std::min<uint64_t>({left, piece.size(), allowed}));
    going = Pause(client.Get(), response.pieceDelayMs) && SendAll(client.Get(), piece.data(), size);
    if (!endless) left -= size;
    if (allowed != kEndless) allowed -= size;
  }
  // Cut short on purpose: the client is left with less than the length said.
  if (response.closeAfterBytes != kEndless) going = false;
  exchange.complete = going;
  if (going) (void)::shutdown(client.Get(), SD_SEND);  // the end of a body without a length
  std::lock_guard<std::mutex> lock(mutex_);
  exchanges_.push_back(exchange);
}
