#ifndef VELMO_CHANNELS_ENGINE_METHOD_RESULT_H_
#define VELMO_CHANNELS_ENGINE_METHOD_RESULT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "channels/binary_messenger.h"
#include "channels/encodable_value.h"
#include "channels/method_codec.h"
#include "channels/method_result.h"

namespace flutter {

// Holds the reply function of one incoming message and lets it be used once.
class ReplyGuard {
 public:
  explicit ReplyGuard(BinaryReply reply);
  // Warns when the message was never answered: the caller on the Flutter side
  // then waits forever.
  ~ReplyGuard();

  ReplyGuard(const ReplyGuard&) = delete;
  ReplyGuard& operator=(const ReplyGuard&) = delete;

  // Sends `data` (null: an empty reply) the first time; every later call only
  // reports the duplicate.
  void SendResponseData(const std::vector<uint8_t>* data);

  // True while the reply has not been used.
  bool holds_reply() const { return !used_; }

 private:
  BinaryReply reply_;
  bool used_ = false;
};

// The result of a call that arrived through a BinaryMessenger: answers by
// encoding with the channel's codec and replying through the message's reply
// function.
class EngineMethodResult : public MethodResult {
 public:
  // `codec` is not owned and must outlive the result.
  EngineMethodResult(BinaryReply reply, const MethodCodec* codec);
  ~EngineMethodResult() override = default;

 protected:
  void SuccessInternal(const EncodableValue* result) override;
  void ErrorInternal(const std::string& error_code, const std::string& error_message,
                     const EncodableValue* error_details) override;
  void NotImplementedInternal() override;

 private:
  ReplyGuard reply_handler_;
  const MethodCodec* codec_;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_ENGINE_METHOD_RESULT_H_
