#include "activity/activity_channel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "activity/activity_classifier.h"
#include "channels/standard_method_codec.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::MethodResult;

// The encoded envelope a handler answered with; empty for not-implemented.
struct Answer {
  int count = 0;
  bool not_implemented = false;
  std::vector<uint8_t> envelope;
};

class RecordingResult : public MethodResult {
 public:
  explicit RecordingResult(Answer& answer) : answer_(answer) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    ++answer_.count;
    answer_.envelope = *flutter::StandardMethodCodec::GetInstance().EncodeSuccessEnvelope(result);
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue* details) override {
    ++answer_.count;
    answer_.envelope =
        *flutter::StandardMethodCodec::GetInstance().EncodeErrorEnvelope(code, message, details);
  }
  void NotImplementedInternal() override {
    ++answer_.count;
    answer_.not_implemented = true;
  }

 private:
  Answer& answer_;
};

class ActivityChannelTest : public testing::Test {
 protected:
  Answer Call(const std::string& method, std::unique_ptr<EncodableValue> arguments = nullptr) {
    Answer answer;
    HandleActivityCall(MethodCall(method, std::move(arguments)),
                       std::make_unique<RecordingResult>(answer), [this] {
                         ++detections_;
                         return detected_;
                       });
    return answer;
  }

  EncodableValue detected_;
  int detections_ = 0;
};

TEST_F(ActivityChannelTest, DetectWithNothingKnownSucceedsWithNull) {
  const Answer answer = Call("detect");
  EXPECT_EQ(answer.count, 1);
  EXPECT_EQ(answer.envelope, (std::vector<uint8_t>{0x00, 0x00}));
  EXPECT_EQ(detections_, 1);
}

// The map reaches the Flutter side with "name" first, as the ordered map
// sorts its keys, and the display name in its exact UTF-8 bytes.
TEST_F(ActivityChannelTest, DetectAnswersTheMapWithNameFirst) {
  detected_ = ActivityReply(std::vector<std::u16string>{u"starrail"});
  const std::vector<uint8_t> expected = {
      0x00, 0x0D, 0x02,                                            // success, map of two
      0x07, 0x04, 'n',  'a',  'm',  'e',                           // "name"
      0x07, 0x15, 0xE5, 0xB4, 0xA9, 0xE5, 0x9D, 0x8F, 0xEF, 0xBC,  // 崩坏：
      0x9A, 0xE6, 0x98, 0x9F, 0xE7, 0xA9, 0xB9, 0xE9, 0x93, 0x81,  // 星穹铁
      0xE9, 0x81, 0x93,                                            // 道
      0x07, 0x04, 't',  'y',  'p',  'e',                           // "type"
      0x07, 0x04, 'g',  'a',  'm',  'e',                           // "game"
  };
  EXPECT_EQ(Call("detect").envelope, expected);
}

TEST_F(ActivityChannelTest, DetectIgnoresItsArguments) {
  detected_ = EncodableValue(EncodableMap{{EncodableValue("type"), EncodableValue("app")}});
  const std::vector<uint8_t> plain = Call("detect").envelope;
  EXPECT_EQ(
      Call("detect", std::make_unique<EncodableValue>(EncodableList{EncodableValue(1)})).envelope,
      plain);
  EXPECT_EQ(Call("detect", std::make_unique<EncodableValue>("steam")).envelope, plain);
  EXPECT_EQ(detections_, 3);
}

TEST_F(ActivityChannelTest, OtherMethodsAreNotImplementedAndDetectNothing) {
  for (const char* method : {"Detect", "detect ", " detect", "DETECT", "detectActivity", ""}) {
    const Answer answer = Call(method);
    EXPECT_EQ(answer.count, 1) << method;
    EXPECT_TRUE(answer.not_implemented) << method;
  }
  EXPECT_EQ(detections_, 0);
}

}  // namespace
