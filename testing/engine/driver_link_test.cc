#include "testing/engine/driver_link.h"

#include <gtest/gtest.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace substitute_engine {
namespace {

using namespace std::chrono_literals;

constexpr auto kWaitLimit = 10s;

// A loopback listener playing the driver's side of one connection.
class DriverLinkTest : public testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(listen(listener_, 1), 0);
    int length = sizeof(address);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }

  void TearDown() override {
    if (peer_ != INVALID_SOCKET) {
      closesocket(peer_);
    }
    closesocket(listener_);
    WSACleanup();
  }

  std::unique_ptr<DriverLink> ConnectLink() {
    auto link = DriverLink::Connect(DriverAddress{"127.0.0.1", port_}, [this](std::string line) {
      std::lock_guard lock(mutex_);
      received_.push_back(std::move(line));
      changed_.notify_all();
    });
    peer_ = accept(listener_, nullptr, nullptr);
    return link;
  }

  void PeerSends(const std::string& bytes) {
    ASSERT_EQ(send(peer_, bytes.data(), static_cast<int>(bytes.size()), 0),
              static_cast<int>(bytes.size()));
  }

  std::vector<std::string> WaitForLines(size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kWaitLimit, [&] { return received_.size() >= count; });
    return received_;
  }

  // Reads from the peer until `count` newlines have arrived.
  std::string PeerReadsLines(size_t count) {
    std::string text;
    char chunk[4096];
    while (static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) < count) {
      const int got = recv(peer_, chunk, sizeof(chunk), 0);
      if (got <= 0) {
        break;
      }
      text.append(chunk, static_cast<size_t>(got));
    }
    return text;
  }

  SOCKET listener_ = INVALID_SOCKET;
  SOCKET peer_ = INVALID_SOCKET;
  uint16_t port_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> received_;
};

TEST_F(DriverLinkTest, LinesSplitAcrossChunksArriveWhole) {
  auto link = ConnectLink();
  ASSERT_NE(link, nullptr);
  PeerSends("first\nsec");
  std::this_thread::sleep_for(20ms);
  PeerSends("ond\r\n\nthird\n");
  EXPECT_EQ(WaitForLines(4), (std::vector<std::string>{"first", "second\r", "", "third"}));
}

TEST_F(DriverLinkTest, LinesFromManyThreadsNeverInterleave) {
  auto link = ConnectLink();
  ASSERT_NE(link, nullptr);
  constexpr int kThreads = 4;
  constexpr int kLinesEach = 200;
  const std::string payload(300, 'x');
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < kLinesEach; ++i) {
        link->SendLine(std::to_string(t) + " " + std::to_string(i) + " " + payload);
      }
    });
  }
  const std::string text = PeerReadsLines(kThreads * kLinesEach);
  for (std::thread& sender : senders) {
    sender.join();
  }
  std::set<std::string> seen;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = text.substr(start, end - start);
    ASSERT_TRUE(line.ends_with(" " + payload)) << line.substr(0, 40);
    seen.insert(line.substr(0, line.size() - payload.size()));
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLinesEach));
}

TEST_F(DriverLinkTest, ClosingTheLinkDoesNotWaitForThePeer) {
  auto link = ConnectLink();
  ASSERT_NE(link, nullptr);
  const auto started = std::chrono::steady_clock::now();
  link.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  char byte;
  EXPECT_EQ(recv(peer_, &byte, 1, 0), 0) << "the peer sees the connection end";
}

TEST_F(DriverLinkTest, UnreachableDriverGivesNoLink) {
  closesocket(listener_);
  listener_ = INVALID_SOCKET;
  EXPECT_EQ(DriverLink::Connect(DriverAddress{"127.0.0.1", port_}, [](std::string) {}), nullptr);
  EXPECT_EQ(DriverLink::Connect(DriverAddress{"no such host.invalid", port_}, [](std::string) {}),
            nullptr);
}

}  // namespace
}  // namespace substitute_engine
