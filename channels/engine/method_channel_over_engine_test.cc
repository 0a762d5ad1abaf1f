// A method channel carried by the engine-backed messenger: the bytes the
// engine delivers reach the handler, and answers go back once to the right
// response handle.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "channels/encodable_value.h"
#include "channels/engine/binary_messenger_impl.h"
#include "channels/method_channel.h"
#include "channels/standard_method_codec.h"
#include "testing/fake_engine/fake_engine.h"

namespace flutter {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr char kChannel[] = "velmo/test";
const Bytes kStopCall = {0x07, 0x04, 's', 't', 'o', 'p', 0x00};
const Bytes kSuccessTrue = {0x00, 0x01};

class RecordingResult : public MethodResult {
 public:
  explicit RecordingResult(std::optional<bool>* success) : success_(success) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    const bool* value = result != nullptr ? std::get_if<bool>(result) : nullptr;
    *success_ = value != nullptr && *value;
  }
  void ErrorInternal(const std::string&, const std::string&, const EncodableValue*) override {
    *success_ = false;
  }
  void NotImplementedInternal() override { *success_ = false; }

 private:
  std::optional<bool>* success_;
};

class MethodChannelOverEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { fake_engine::Reset(); }

  BinaryMessengerImpl messenger_{fake_engine::MessengerHandle()};
  MethodChannel channel_{&messenger_, kChannel, &StandardMethodCodec::GetInstance()};
};

TEST_F(MethodChannelOverEngineTest, IncomingCallIsAnsweredOnItsHandle) {
  std::string method;
  channel_.SetMethodCallHandler(
      [&method](const MethodCall& call, std::unique_ptr<MethodResult> result) {
        method = call.method_name();
        result->Success(EncodableValue(true));
      });

  ASSERT_TRUE(fake_engine::DeliverMessage(kChannel, kStopCall, fake_engine::ResponseHandle(5)));

  EXPECT_EQ(method, "stop");
  const auto responses = fake_engine::Responses();
  ASSERT_EQ(responses.size(), 1u);
  EXPECT_EQ(responses[0].handle, fake_engine::ResponseHandle(5));
  EXPECT_EQ(responses[0].data, kSuccessTrue);
  EXPECT_EQ(fake_engine::OutstandingMessengerReferences(), 0);
}

TEST_F(MethodChannelOverEngineTest, ResultKeptPastShutdownIsDroppedOnAnyThread) {
  std::unique_ptr<MethodResult> kept;
  channel_.SetMethodCallHandler([&kept](const MethodCall&, std::unique_ptr<MethodResult> result) {
    kept = std::move(result);
  });
  ASSERT_TRUE(fake_engine::DeliverMessage(kChannel, kStopCall, fake_engine::ResponseHandle(1)));
  ASSERT_NE(kept, nullptr);
  fake_engine::ShutDownEngine();

  ::testing::internal::CaptureStderr();
  std::thread worker([&kept] {
    kept->Success(EncodableValue(true));
    kept.reset();
  });
  worker.join();
  const std::string errors = ::testing::internal::GetCapturedStderr();

  EXPECT_TRUE(fake_engine::Responses().empty());
  EXPECT_EQ(errors, "");
  EXPECT_EQ(fake_engine::OutstandingMessengerReferences(), 0);
}

TEST_F(MethodChannelOverEngineTest, AnswerToAnOutgoingCallReachesItsResult) {
  std::optional<bool> success;
  channel_.InvokeMethod("ping", nullptr, std::make_unique<RecordingResult>(&success));

  const auto sent = fake_engine::SentMessages();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].channel, kChannel);
  EXPECT_TRUE(sent[0].with_reply);
  EXPECT_FALSE(success.has_value());

  fake_engine::AnswerSend(0, kSuccessTrue.data(), kSuccessTrue.size());
  ASSERT_TRUE(success.has_value());
  EXPECT_TRUE(*success);
}

}  // namespace
}  // namespace flutter
