#ifndef VELMO_TESTING_ENGINE_DRIVER_LINK_H_
#define VELMO_TESTING_ENGINE_DRIVER_LINK_H_

#include <winsock2.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "testing/engine/driver_line.h"

namespace substitute_engine {

// The TCP connection to the test driver. Lines go out from any thread; lines
// coming in are handed, without their "\n", to a sink on the link's own reader
// thread.
class DriverLink {
 public:
  using LineSink = std::function<void(std::string line)>;

  // Connects at once; null when the driver cannot be reached.
  static std::unique_ptr<DriverLink> Connect(const DriverAddress& address, LineSink sink);

  ~DriverLink();
  DriverLink(const DriverLink&) = delete;
  DriverLink& operator=(const DriverLink&) = delete;

  // Sends the line followed by "\n". Thread-safe; a lost connection drops it.
  void SendLine(const std::string& line);

 private:
  DriverLink(SOCKET socket, LineSink sink);
  void ReadLines();

  SOCKET socket_;
  LineSink sink_;
  std::mutex send_mutex_;
  std::atomic<bool> stopping_{false};
  std::thread reader_;
};

}  // namespace substitute_engine

#endif  // VELMO_TESTING_ENGINE_DRIVER_LINK_H_
