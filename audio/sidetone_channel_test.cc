#include "audio/sidetone_channel.h"

#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "channels/encodable_value.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using Strings = std::vector<std::string>;

// The answer as one line: "true", "false", "error CODE MESSAGE" or "not_implemented".
class RecordingResult : public flutter::MethodResult {
 public:
  explicit RecordingResult(std::string& answer) : answer_(answer) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    const bool* value = result != nullptr ? std::get_if<bool>(result) : nullptr;
    answer_ = value == nullptr ? "other" : (*value ? "true" : "false");
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue*) override {
    answer_ = "error " + code + " " + message;
  }
  void NotImplementedInternal() override { answer_ = "not_implemented"; }

 private:
  std::string& answer_;
};

class SidetoneChannelTest : public ::testing::Test, public SidetoneControl {
 protected:
  void Start(const std::string& input, const std::string& output, float volume,
             std::function<void(bool)> answer) override {
    calls.push_back("start " + input + "|" + output);
    volumes.push_back(volume);
    answer(start_result);
  }
  void SetVolume(float volume) override { volumes.push_back(volume); }
  void Stop() override { calls.push_back("stop"); }

  std::string Call(const std::string& method, std::optional<EncodableValue> arguments) {
    std::string answer = "none";
    const flutter::MethodCall call(
        method, arguments ? std::make_unique<EncodableValue>(*arguments) : nullptr);
    HandleSidetoneCall(call, std::make_unique<RecordingResult>(answer), *this);
    return answer;
  }

  bool start_result = true;
  Strings calls;
  std::vector<float> volumes;
};

TEST_F(SidetoneChannelTest, StartPassesIdsAndAnswersTheStartResult) {
  EXPECT_EQ(Call("start", EncodableValue(EncodableMap{
                              {EncodableValue("inputDeviceId"), EncodableValue("{mic}")},
                              {EncodableValue("outputDeviceId"), EncodableValue("\xC3\xA9")}})),
            "true");
  start_result = false;
  EXPECT_EQ(Call("start", EncodableValue(
                              EncodableMap{{EncodableValue("inputDeviceId"), EncodableValue(7)}})),
            "false");
  EXPECT_EQ(calls, (Strings{"start {mic}|\xC3\xA9", "start |"}));
}

TEST_F(SidetoneChannelTest, VolumeArgumentTable) {
  struct Case {
    std::optional<EncodableValue> volume;
    float expected;
  };
  const Case cases[] = {
      {std::nullopt, 0.35f},
      {EncodableValue(0.5), 0.5f},
      {EncodableValue(int32_t{2}), 1.0f},
      {EncodableValue(-1.5), 0.0f},
      {EncodableValue(int64_t{1}), 0.35f},
      {EncodableValue("0.5"), 0.35f},
      {EncodableValue(std::numeric_limits<double>::quiet_NaN()), 0.35f},
      {EncodableValue(1e300), 1.0f},
  };
  for (const std::string method : {"start", "setVolume"}) {
    volumes.clear();
    for (const Case& c : cases) {
      EncodableMap arguments;
      if (c.volume) {
        arguments[EncodableValue("volume")] = *c.volume;
      }
      EXPECT_EQ(Call(method, EncodableValue(arguments)), "true");
    }
    ASSERT_EQ(volumes.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
      EXPECT_EQ(volumes[i], cases[i].expected) << method << " case " << i;
    }
  }
}

TEST_F(SidetoneChannelTest, StartAndSetVolumeNeedAMapStopDoesNotOthersAreNotImplemented) {
  for (const std::string method : {"start", "setVolume"}) {
    for (const auto& arguments :
         {std::optional<EncodableValue>(), std::optional<EncodableValue>(EncodableValue(0.5))}) {
      EXPECT_EQ(Call(method, arguments), "error invalid_argument Expected a map.") << method;
    }
  }
  EXPECT_TRUE(volumes.empty());
  EXPECT_EQ(Call("stop", std::nullopt), "true");
  EXPECT_EQ(Call("stop", EncodableValue(5)), "true");
  EXPECT_EQ(Call("Start", EncodableValue(EncodableMap{})), "not_implemented");
  EXPECT_EQ(calls, (Strings{"stop", "stop"}));
}

}  // namespace
