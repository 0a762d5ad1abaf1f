#include "audio/ai_denoise_channel.h"

#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/rnnoise_capture_processing.h"
#include "channels/encodable_value.h"
#include "testing/webrtc_plugin/fake_webrtc_plugin.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using Lines = std::vector<std::string>;

const Lines kOnLines = {"ai_denoise_configure_on", "rnnoise_skipped_hook_disabled"};
const Lines kOffLines = {"ai_denoise_configure_off", "rnnoise_disabled_hook_disabled"};

// The answer as one line ("success true", "error CODE MESSAGE",
// "not_implemented"). Throws from Success when asked, as an encoder out of
// memory would.
class RecordingResult : public flutter::MethodResult {
 public:
  RecordingResult(std::string* answer, bool throw_on_success)
      : answer_(answer), throw_on_success_(throw_on_success) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    if (throw_on_success_) {
      throw std::bad_alloc();
    }
    const bool* value = result != nullptr ? std::get_if<bool>(result) : nullptr;
    *answer_ = value != nullptr && *value ? "success true" : "success other";
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue* details) override {
    *answer_ = "error " + code + " " + message + (details != nullptr ? " +details" : "");
  }
  void NotImplementedInternal() override { *answer_ = "not_implemented"; }

 private:
  std::string* answer_;
  bool throw_on_success_;
};

class AiDenoiseChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A level no default or clamp gives, so a test sees what a call stored.
    processor().SetWet(0.25f);
    fake_webrtc_plugin::ResetFake();
  }

  static RnnoiseCaptureProcessing& processor() { return RnnoiseCaptureProcessing::Instance(); }

  static std::string Call(const std::string& method, std::unique_ptr<EncodableValue> arguments,
                          bool throw_on_success = false) {
    std::string answer = "none";
    HandleAiDenoiseCall(flutter::MethodCall(method, std::move(arguments)),
                        std::make_unique<RecordingResult>(&answer, throw_on_success));
    return answer;
  }

  static std::string Configure(EncodableMap arguments, bool throw_on_success = false) {
    return Call("configure", std::make_unique<EncodableValue>(std::move(arguments)),
                throw_on_success);
  }
};

TEST_F(AiDenoiseChannelTest, EnabledRequestIsLoggedSkippedAndAnsweredTrue) {
  EXPECT_EQ(Configure({{EncodableValue("enabled"), EncodableValue(true)},
                       {EncodableValue("wet"), EncodableValue(0.5)}}),
            "success true");
  EXPECT_EQ(processor().CurrentWet(), 0.5f);
  EXPECT_FALSE(processor().IsEnabled());
  EXPECT_EQ(fake_webrtc_plugin::LogLines(), kOnLines);
}

TEST_F(AiDenoiseChannelTest, StoresWetLevelsAndReadsEnabledOnlyFromABool) {
  const EncodableValue wet("wet");
  const std::vector<std::pair<EncodableMap, float>> cases = {
      {{}, 1.0f},
      {{{wet, EncodableValue(int32_t{3})}}, 1.0f},
      {{{wet, EncodableValue(-2.0)}}, 0.0f},
      {{{wet, EncodableValue(int32_t{0})}}, 0.0f},
      {{{wet, EncodableValue(1e300)}}, 1.0f},
      {{{wet, EncodableValue(std::numeric_limits<double>::quiet_NaN())}}, 1.0f},
      {{{wet, EncodableValue("0.5")}}, 1.0f},
      {{{wet, EncodableValue(int64_t{0})}}, 1.0f},
      {{{EncodableValue("enabled"), EncodableValue(int32_t{1})}, {wet, EncodableValue(0.75)}},
       0.75f},
      {{{EncodableValue("enabled"), EncodableValue("true")}}, 1.0f},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SetUp();
    EXPECT_EQ(Configure(cases[i].first), "success true") << "case " << i;
    EXPECT_EQ(processor().CurrentWet(), cases[i].second) << "case " << i;
    EXPECT_EQ(fake_webrtc_plugin::LogLines(), kOffLines) << "case " << i;
  }
}

TEST_F(AiDenoiseChannelTest, MalformedCallsChangeNothing) {
  std::vector<std::unique_ptr<EncodableValue>> arguments;
  arguments.push_back(nullptr);
  arguments.push_back(std::make_unique<EncodableValue>());
  arguments.push_back(std::make_unique<EncodableValue>(EncodableList{EncodableValue(true)}));
  arguments.push_back(std::make_unique<EncodableValue>(true));
  for (auto& argument : arguments) {
    EXPECT_EQ(Call("configure", std::move(argument)), "error invalid_argument Expected a map.");
  }
  for (const char* method : {"Configure", "configure ", "setWet", ""}) {
    auto argument = std::make_unique<EncodableValue>(
        EncodableMap{{EncodableValue("wet"), EncodableValue(0.5)}});
    EXPECT_EQ(Call(method, std::move(argument)), "not_implemented") << method;
  }
  EXPECT_EQ(processor().CurrentWet(), 0.25f);
  EXPECT_TRUE(fake_webrtc_plugin::LogLines().empty());
}

TEST_F(AiDenoiseChannelTest, ExceptionWhileConfiguringIsLoggedAndAnsweredAsFailure) {
  EXPECT_EQ(Configure({{EncodableValue("enabled"), EncodableValue(true)}}, true),
            "error ai_denoise_failed Native denoise configure threw.");
  Lines expected = kOnLines;
  expected.push_back("ai_denoise_configure_exception");
  EXPECT_EQ(fake_webrtc_plugin::LogLines(), expected);
}

}  // namespace
