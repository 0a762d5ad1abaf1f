#include "audio/ai_denoise_channel.h"

#include <cstdint>
#include <iterator>
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

// The answer as one line; Success throws when asked, as an encoder out of
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
    *answer_ = result != nullptr && *result == EncodableValue(true) ? "true" : "other";
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue*) override {
    *answer_ = code + " " + message;
  }
  void NotImplementedInternal() override { *answer_ = "not_implemented"; }

 private:
  std::string* answer_;
  bool throw_on_success_;
};

RnnoiseCaptureProcessing& Processor() { return RnnoiseCaptureProcessing::Instance(); }

std::string Call(const std::string& method, std::unique_ptr<EncodableValue> arguments,
                 bool throw_on_success = false) {
  // A level no default or clamp gives, so a test sees what a call stored.
  Processor().SetWet(0.25f);
  fake_webrtc_plugin::ResetFake();
  std::string answer = "none";
  HandleAiDenoiseCall(flutter::MethodCall(method, std::move(arguments)),
                      std::make_unique<RecordingResult>(&answer, throw_on_success));
  return answer;
}

std::unique_ptr<EncodableValue> Map(EncodableMap map) {
  return std::make_unique<EncodableValue>(std::move(map));
}

TEST(AiDenoiseChannelTest, ConfigureStoresTheClampedWetLevelAndLogsTheRequest) {
  const EncodableValue wet("wet");
  const EncodableValue enabled("enabled");
  struct Case {
    EncodableMap arguments;
    float stored_wet;
    const Lines& log;
  };
  const Case cases[] = {
      {{{enabled, EncodableValue(true)}, {wet, EncodableValue(0.5)}}, 0.5f, kOnLines},
      {{}, 1.0f, kOffLines},
      {{{wet, EncodableValue(-2.0)}}, 0.0f, kOffLines},
      {{{wet, EncodableValue(int32_t{0})}}, 0.0f, kOffLines},
      {{{wet, EncodableValue(1e300)}}, 1.0f, kOffLines},
      {{{wet, EncodableValue(std::numeric_limits<double>::quiet_NaN())}}, 1.0f, kOffLines},
      {{{wet, EncodableValue("0.5")}}, 1.0f, kOffLines},
      // Only a bool enables.
      {{{enabled, EncodableValue(int32_t{1})}, {wet, EncodableValue(0.75)}}, 0.75f, kOffLines},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Call("configure", Map(cases[i].arguments)), "true") << "case " << i;
    EXPECT_EQ(Processor().CurrentWet(), cases[i].stored_wet) << "case " << i;
    EXPECT_FALSE(Processor().IsEnabled()) << "case " << i;
    EXPECT_EQ(fake_webrtc_plugin::LogLines(), cases[i].log) << "case " << i;
  }
}

TEST(AiDenoiseChannelTest, MalformedCallsChangeNothing) {
  const auto expect_untouched = [](const std::string& answer, const std::string& expected) {
    EXPECT_EQ(answer, expected);
    EXPECT_EQ(Processor().CurrentWet(), 0.25f);
    EXPECT_TRUE(fake_webrtc_plugin::LogLines().empty());
  };
  expect_untouched(Call("configure", nullptr), "invalid_argument Expected a map.");
  expect_untouched(Call("configure", std::make_unique<EncodableValue>(EncodableList{})),
                   "invalid_argument Expected a map.");
  expect_untouched(Call("Configure", Map({{EncodableValue("wet"), EncodableValue(0.5)}})),
                   "not_implemented");
}

TEST(AiDenoiseChannelTest, ExceptionWhileConfiguringIsLoggedAndAnsweredAsFailure) {
  EXPECT_EQ(Call("configure", Map({{EncodableValue("enabled"), EncodableValue(true)}}), true),
            "ai_denoise_failed Native denoise configure threw.");
  Lines expected = kOnLines;
  expected.push_back("ai_denoise_configure_exception");
  EXPECT_EQ(fake_webrtc_plugin::LogLines(), expected);
}

}  // namespace
