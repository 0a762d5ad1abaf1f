#include "audio/ai_denoise_channel.h"

#include <cmath>
#include <limits>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/rnnoise_capture_processing.h"
#include "channels/encodable_value.h"
#include "channels/standard_method_codec.h"
#include "testing/webrtc_plugin/fake_webrtc_plugin.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using Lines = std::vector<std::string>;

// What a handler answered.
struct Reply {
  std::string kind;  // "success", "error", "not_implemented" or "" for none
  std::optional<EncodableValue> value;
  std::string error_code;
  std::string error_message;
  bool has_details = false;
};

// Records the answer; optionally throws from the first Success, as an
// encoder out of memory would.
class RecordingResult : public flutter::MethodResult {
 public:
  RecordingResult(Reply* reply, bool throw_on_success)
      : reply_(reply), throw_on_success_(throw_on_success) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    if (throw_on_success_) {
      throw std::bad_alloc();
    }
    reply_->kind = "success";
    if (result != nullptr) {
      reply_->value = *result;
    }
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue* details) override {
    reply_->kind = "error";
    reply_->error_code = code;
    reply_->error_message = message;
    reply_->has_details = details != nullptr;
  }
  void NotImplementedInternal() override { reply_->kind = "not_implemented"; }

 private:
  Reply* reply_;
  bool throw_on_success_;
};

class AiDenoiseChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A wet level no default or clamp produces, so a test sees what a call
    // stored.
    processor().SetWet(0.25f);
    fake_webrtc_plugin::ResetFake();
  }

  static RnnoiseCaptureProcessing& processor() { return RnnoiseCaptureProcessing::Instance(); }

  static Reply Call(const std::string& method, std::unique_ptr<EncodableValue> arguments,
                    bool throw_on_success = false) {
    Reply reply;
    HandleAiDenoiseCall(flutter::MethodCall(method, std::move(arguments)),
                        std::make_unique<RecordingResult>(&reply, throw_on_success));
    return reply;
  }

  static Reply Configure(EncodableMap arguments) {
    return Call("configure", std::make_unique<EncodableValue>(std::move(arguments)));
  }
};

TEST_F(AiDenoiseChannelTest, EnabledRequestIsLoggedSkippedAndAnsweredTrue) {
  const Reply reply = Configure({{EncodableValue("enabled"), EncodableValue(true)},
                                 {EncodableValue("wet"), EncodableValue(0.5)}});
  EXPECT_EQ(reply.kind, "success");
  EXPECT_EQ(reply.value, EncodableValue(true));
  EXPECT_EQ(processor().CurrentWet(), 0.5f);
  EXPECT_FALSE(processor().IsEnabled());
  EXPECT_EQ(fake_webrtc_plugin::LogLines(),
            (Lines{"ai_denoise_configure_on", "rnnoise_skipped_hook_disabled"}));
}

TEST_F(AiDenoiseChannelTest, StoresWetLevelsAndReadsEnabledOnlyFromABool) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<std::pair<EncodableMap, float>> cases = {
      {{}, 1.0f},
      {{{EncodableValue("wet"), EncodableValue(int32_t{3})}}, 1.0f},
      {{{EncodableValue("wet"), EncodableValue(-2.0)}}, 0.0f},
      {{{EncodableValue("wet"), EncodableValue(int32_t{0})}}, 0.0f},
      {{{EncodableValue("wet"), EncodableValue(0.75)}}, 0.75f},
      {{{EncodableValue("wet"), EncodableValue(1e300)}}, 1.0f},
      {{{EncodableValue("wet"), EncodableValue(nan)}}, 1.0f},
      {{{EncodableValue("wet"), EncodableValue("0.5")}}, 1.0f},
      {{{EncodableValue("wet"), EncodableValue(int64_t{0})}}, 1.0f},
      {{{EncodableValue("enabled"), EncodableValue(int32_t{1})},
        {EncodableValue("wet"), EncodableValue(0.5)}},
       0.5f},
      {{{EncodableValue("enabled"), EncodableValue("true")}}, 1.0f},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SetUp();
    const Reply reply = Configure(cases[i].first);
    EXPECT_EQ(reply.kind, "success") << "case " << i;
    EXPECT_EQ(processor().CurrentWet(), cases[i].second) << "case " << i;
    EXPECT_EQ(fake_webrtc_plugin::LogLines(),
              (Lines{"ai_denoise_configure_off", "rnnoise_disabled_hook_disabled"}))
        << "case " << i;
  }
}

TEST_F(AiDenoiseChannelTest, ArgumentsOtherThanAMapAreRejected) {
  std::vector<std::unique_ptr<EncodableValue>> arguments;
  arguments.push_back(nullptr);
  arguments.push_back(std::make_unique<EncodableValue>());
  arguments.push_back(std::make_unique<EncodableValue>(EncodableList{EncodableValue(true)}));
  arguments.push_back(std::make_unique<EncodableValue>(true));
  for (auto& argument : arguments) {
    const Reply reply = Call("configure", std::move(argument));
    EXPECT_EQ(reply.kind, "error");
    EXPECT_EQ(reply.error_code, "invalid_argument");
    EXPECT_EQ(reply.error_message, "Expected a map.");
    EXPECT_FALSE(reply.has_details);
  }
  EXPECT_EQ(processor().CurrentWet(), 0.25f);
  EXPECT_TRUE(fake_webrtc_plugin::LogLines().empty());
}

TEST_F(AiDenoiseChannelTest, OtherMethodsAreNotImplemented) {
  for (const char* method : {"Configure", "configure ", "setWet", ""}) {
    auto arguments = std::make_unique<EncodableValue>(
        EncodableMap{{EncodableValue("wet"), EncodableValue(0.5)}});
    EXPECT_EQ(Call(method, std::move(arguments)).kind, "not_implemented") << method;
  }
  EXPECT_EQ(processor().CurrentWet(), 0.25f);
  EXPECT_TRUE(fake_webrtc_plugin::LogLines().empty());
}

TEST_F(AiDenoiseChannelTest, ExceptionWhileConfiguringIsLoggedAndAnsweredAsFailure) {
  const Reply reply = Call("configure",
                           std::make_unique<EncodableValue>(
                               EncodableMap{{EncodableValue("enabled"), EncodableValue(true)}}),
                           /*throw_on_success=*/true);
  EXPECT_EQ(reply.kind, "error");
  EXPECT_EQ(reply.error_code, "ai_denoise_failed");
  EXPECT_EQ(reply.error_message, "Native denoise configure threw.");
  EXPECT_FALSE(reply.has_details);
  EXPECT_EQ(fake_webrtc_plugin::LogLines(),
            (Lines{"ai_denoise_configure_on", "rnnoise_skipped_hook_disabled",
                   "ai_denoise_configure_exception"}));
}

// Keeps the handler a channel registers, so the test can deliver a message.
class CapturingMessenger : public flutter::BinaryMessenger {
 public:
  void Send(const std::string&, const uint8_t*, size_t, flutter::BinaryReply) const override {}
  void SetMessageHandler(const std::string& channel,
                         flutter::BinaryMessageHandler handler) override {
    handlers[channel] = std::move(handler);
  }

  std::map<std::string, flutter::BinaryMessageHandler> handlers;
};

TEST_F(AiDenoiseChannelTest, ChannelAnswersConfigureOnItsName) {
  CapturingMessenger messenger;
  const auto channel = CreateAiDenoiseChannel(&messenger);
  const flutter::MethodCall call(
      "configure",
      std::make_unique<EncodableValue>(EncodableMap{{EncodableValue("wet"), EncodableValue(0.5)}}));
  const auto message = flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call);
  std::vector<uint8_t> reply;
  messenger.handlers.at("parlora/ai_denoise")(
      message->data(), message->size(),
      [&](const uint8_t* data, size_t size) { reply.assign(data, data + size); });
  EXPECT_EQ(reply, (std::vector<uint8_t>{0x00, 0x01}));
  EXPECT_EQ(processor().CurrentWet(), 0.5f);
}

}  // namespace
