#include "audio/sidetone_channel.h"

#include <cmath>
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

struct Reply {
  std::string kind;  // "success", "error" or "not_implemented"
  EncodableValue value;
  std::string code;
  std::string message;
};

class RecordingResult : public flutter::MethodResult {
 public:
  explicit RecordingResult(std::optional<Reply>& reply) : reply(reply) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    reply = Reply{"success", result != nullptr ? *result : EncodableValue(), "", ""};
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue*) override {
    reply = Reply{"error", EncodableValue(), code, message};
  }
  void NotImplementedInternal() override { reply = Reply{"not_implemented", {}, "", ""}; }

 private:
  std::optional<Reply>& reply;
};

class RecordingControl : public SidetoneControl {
 public:
  bool Start(const std::string& input, const std::string& output, float volume) override {
    calls.push_back("start " + input + "|" + output);
    volumes.push_back(volume);
    return start_result;
  }
  void SetVolume(float volume) override {
    calls.push_back("setVolume");
    volumes.push_back(volume);
  }
  void Stop() override { calls.push_back("stop"); }

  bool start_result = true;
  std::vector<std::string> calls;
  std::vector<float> volumes;
};

class SidetoneChannelTest : public ::testing::Test {
 protected:
  Reply Call(const std::string& method, std::optional<EncodableValue> arguments) {
    std::optional<Reply> reply;
    const flutter::MethodCall call(
        method, arguments ? std::make_unique<EncodableValue>(*arguments) : nullptr);
    HandleSidetoneCall(call, std::make_unique<RecordingResult>(reply), control);
    EXPECT_TRUE(reply.has_value()) << method;
    return reply.value_or(Reply{});
  }

  RecordingControl control;
};

TEST_F(SidetoneChannelTest, StartPassesIdsAndVolumeAndAnswersTheStartResult) {
  Reply reply = Call("start", EncodableValue(EncodableMap{
                                  {EncodableValue("inputDeviceId"), EncodableValue("{mic}")},
                                  {EncodableValue("outputDeviceId"), EncodableValue("\xC3\xA9")},
                                  {EncodableValue("volume"), EncodableValue(0.5)}}));
  EXPECT_EQ(reply.kind, "success");
  EXPECT_EQ(reply.value, EncodableValue(true));
  control.start_result = false;
  reply = Call("start",
               EncodableValue(EncodableMap{{EncodableValue("inputDeviceId"), EncodableValue(7)}}));
  EXPECT_EQ(reply.kind, "success") << "a failed start is an answer, not an error";
  EXPECT_EQ(reply.value, EncodableValue(false));
  EXPECT_EQ(control.calls, (std::vector<std::string>{"start {mic}|\xC3\xA9", "start |"}));
}

TEST_F(SidetoneChannelTest, VolumeArgumentTable) {
  struct Case {
    std::optional<EncodableValue> volume;
    float expected;
  };
  const Case cases[] = {
      {std::nullopt, 0.35f},
      {EncodableValue(0.5), 0.5f},
      {EncodableValue(3.0), 1.0f},
      {EncodableValue(int32_t{2}), 1.0f},
      {EncodableValue(int32_t{0}), 0.0f},
      {EncodableValue(-1.5), 0.0f},
      {EncodableValue(int64_t{1}), 0.35f},
      {EncodableValue("0.5"), 0.35f},
      {EncodableValue(std::numeric_limits<double>::quiet_NaN()), 0.35f},
      {EncodableValue(1e300), 1.0f},
  };
  for (const std::string method : {"start", "setVolume"}) {
    control.volumes.clear();
    for (const Case& c : cases) {
      EncodableMap arguments;
      if (c.volume) {
        arguments[EncodableValue("volume")] = *c.volume;
      }
      EXPECT_EQ(Call(method, EncodableValue(arguments)).kind, "success");
    }
    ASSERT_EQ(control.volumes.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
      EXPECT_EQ(control.volumes[i], cases[i].expected) << method << " case " << i;
    }
  }
}

TEST_F(SidetoneChannelTest, StartAndSetVolumeNeedAMapStopDoesNot) {
  for (const std::string method : {"start", "setVolume"}) {
    for (const std::optional<EncodableValue>& arguments :
         {std::optional<EncodableValue>(), std::optional<EncodableValue>(EncodableValue(0.5)),
          std::optional<EncodableValue>(EncodableValue(flutter::EncodableList{}))}) {
      const Reply reply = Call(method, arguments);
      EXPECT_EQ(reply.kind, "error") << method;
      EXPECT_EQ(reply.code, "invalid_argument");
      EXPECT_EQ(reply.message, "Expected a map.");
    }
  }
  EXPECT_TRUE(control.calls.empty());
  for (const std::optional<EncodableValue>& arguments :
       {std::optional<EncodableValue>(), std::optional<EncodableValue>(EncodableValue(5))}) {
    const Reply reply = Call("stop", arguments);
    EXPECT_EQ(reply.kind, "success");
    EXPECT_EQ(reply.value, EncodableValue(true));
  }
  EXPECT_EQ(control.calls, (std::vector<std::string>{"stop", "stop"}));
}

TEST_F(SidetoneChannelTest, OtherNamesAreNotImplemented) {
  for (const std::string method : {"Start", "stop ", "setvolume", ""}) {
    EXPECT_EQ(Call(method, EncodableValue(EncodableMap{})).kind, "not_implemented") << method;
  }
  EXPECT_TRUE(control.calls.empty());
}

}  // namespace
