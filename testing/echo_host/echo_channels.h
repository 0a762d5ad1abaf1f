#ifndef VELMO_TESTING_ECHO_HOST_ECHO_CHANNELS_H_
#define VELMO_TESTING_ECHO_HOST_ECHO_CHANNELS_H_

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "channels/binary_messenger.h"
#include "channels/event_channel.h"
#include "channels/event_sink.h"
#include "channels/method_channel.h"
#include "channels/method_result.h"

// The echo host's channels over one messenger:
//   "velmo.testing/echo_raw"  answers every message with its own bytes.
//   "velmo.testing/echo"      method calls in the standard codec:
//     echo                 success with the arguments
//     nothing              success without a value
//     error                error "echo_error" / "Echoed as an error." with the
//                          arguments as details
//     errorWithoutMessage  error "echo_error" with an empty message
//     twice                success with the arguments, then again
//     later                success with the arguments from another thread
//     drop                 never answered
//     keepUntilShutdown    answered only after the engine is gone
//     notify               success; then calls "notified" (arguments as
//                          given) on the Flutter side without a reply
//     invoke               success; then calls "fromHost" with the arguments
//                          and reports the Flutter side's answer by calling
//                          "resultSeen" with {"kind", "value"|"code",
//                          "message", "details"}
//     emit                 success; sends the arguments as an event
//     quit                 success; ends the message loop with the int32
//                          argument (0 without one) as exit code
//     anything else        not implemented
//   "velmo.testing/events"    an event stream: "listen" sends the listen
//                          arguments as the first event; "cancel" stops it.
class EchoChannels {
 public:
  EchoChannels(flutter::BinaryMessenger* messenger, std::function<void(int)> quit);
  ~EchoChannels();
  EchoChannels(const EchoChannels&) = delete;
  EchoChannels& operator=(const EchoChannels&) = delete;

  // The results kept to be answered after shutdown, handed over.
  std::vector<std::unique_ptr<flutter::MethodResult>> TakeKeptResults();

 private:
  void HandleCall(const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result);

  flutter::BinaryMessenger* messenger_;
  std::function<void(int)> quit_;
  std::unique_ptr<flutter::MethodChannel> echo_;
  std::unique_ptr<flutter::EventChannel> events_;
  std::shared_ptr<std::unique_ptr<flutter::EventSink>> sink_;
  std::vector<std::unique_ptr<flutter::MethodResult>> kept_results_;
  std::vector<std::thread> workers_;
};

#endif  // VELMO_TESTING_ECHO_HOST_ECHO_CHANNELS_H_
