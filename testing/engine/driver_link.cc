#include "testing/engine/driver_link.h"

#include <ws2tcpip.h>

#include <cstdio>

namespace substitute_engine {
namespace {

// The reader wakes this often to notice that the link is closing; shutting
// the socket down wakes it at once, so this only bounds a missed wake-up
// while keeping an idle program's own CPU share measurable.
constexpr long kReadPollSeconds = 1;
constexpr size_t kReadChunkBytes = 64 * 1024;

// Keeps Winsock started for as long as any link exists.
class WinsockSession {
 public:
  WinsockSession() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockSession() {
    if (started_) {
      WSACleanup();
    }
  }
  WinsockSession(const WinsockSession&) = delete;
  WinsockSession& operator=(const WinsockSession&) = delete;
  bool started() const { return started_; }

 private:
  bool started_ = false;
};

struct AddressListDeleter {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

}  // namespace

std::unique_ptr<DriverLink> DriverLink::Connect(const DriverAddress& address, LineSink sink) {
  static WinsockSession winsock;
  if (!winsock.started()) {
    return nullptr;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(address.port);
  if (getaddrinfo(address.host.c_str(), port.c_str(), &hints, &found) != 0) {
    return nullptr;
  }
  std::unique_ptr<addrinfo, AddressListDeleter> list(found);
  for (addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
    SOCKET s = socket(entry->ai_family, entry->ai_socktype, entry->ai_protocol);
    if (s == INVALID_SOCKET) {
      continue;
    }
    if (connect(s, entry->ai_addr, static_cast<int>(entry->ai_addrlen)) == 0) {
      BOOL no_delay = TRUE;
      setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay),
                 sizeof(no_delay));
      return std::unique_ptr<DriverLink>(new DriverLink(s, std::move(sink)));
    }
    closesocket(s);
  }
  return nullptr;
}

DriverLink::DriverLink(SOCKET socket, LineSink sink)
    : socket_(socket), sink_(std::move(sink)), reader_([this] { ReadLines(); }) {}

DriverLink::~DriverLink() {
  stopping_ = true;
  shutdown(socket_, SD_BOTH);
  reader_.join();
  closesocket(socket_);
}

void DriverLink::SendLine(const std::string& line) {
  const std::string framed = line + "\n";
  std::lock_guard lock(send_mutex_);
  size_t sent = 0;
  while (sent < framed.size()) {
    const int chunk =
        send(socket_, framed.data() + sent, static_cast<int>(framed.size() - sent), 0);
    if (chunk <= 0) {
      return;
    }
    sent += static_cast<size_t>(chunk);
  }
}

void DriverLink::ReadLines() {
  // No exception may leave a thread entry; a failure here only ends the
  // incoming direction.
  try {
    std::string pending;
    std::string chunk(kReadChunkBytes, '\0');
    while (!stopping_) {
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(socket_, &readable);
      timeval wait{kReadPollSeconds, 0};
      const int ready = select(0, &readable, nullptr, nullptr, &wait);
      if (ready < 0) {
        break;
      }
      if (ready == 0) {
        continue;
      }
      const int received = recv(socket_, chunk.data(), static_cast<int>(chunk.size()), 0);
      if (received <= 0) {
        break;
      }
      pending.append(chunk.data(), static_cast<size_t>(received));
      size_t newline;
      while ((newline = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, newline);
        pending.erase(0, newline + 1);
        sink_(std::move(line));
      }
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "substitute engine: driver reader stopped: %s\n", error.what());
    std::fflush(stderr);
  }
}

}  // namespace substitute_engine
