#include "desktop_shell/window_style_handler.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::MethodResult;

// What a handler answered; exactly one answer is expected per call.
struct Answer {
  enum class Kind { kNone, kSuccess, kError, kNotImplemented };
  Kind kind = Kind::kNone;
  int count = 0;
  std::optional<EncodableValue> value;
  std::string code;
  std::string message;
  bool has_details = false;
};

class RecordingResult : public MethodResult {
 public:
  explicit RecordingResult(Answer& answer) : answer_(answer) {}

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    Record(Answer::Kind::kSuccess);
    if (result != nullptr) answer_.value = *result;
  }
  void ErrorInternal(const std::string& code, const std::string& message,
                     const EncodableValue* details) override {
    Record(Answer::Kind::kError);
    answer_.code = code;
    answer_.message = message;
    answer_.has_details = details != nullptr;
  }
  void NotImplementedInternal() override { Record(Answer::Kind::kNotImplemented); }

 private:
  void Record(Answer::Kind kind) {
    answer_.kind = kind;
    ++answer_.count;
  }
  Answer& answer_;
};

// The main window as the handler sees it: the themes it was asked to paint.
struct FakeWindow {
  std::vector<bool> painted;
};

class WindowStyleHandlerTest : public ::testing::Test {
 protected:
  Answer Call(const std::string& method, std::unique_ptr<EncodableValue> arguments) {
    Answer answer;
    MethodCall call(method, std::move(arguments));
    HandleWindowStyleCall(call, std::make_unique<RecordingResult>(answer),
                          [this](bool dark) { window.painted.push_back(dark); });
    return answer;
  }
  Answer Call(const std::string& method, EncodableValue argument) {
    return Call(method, std::make_unique<EncodableValue>(std::move(argument)));
  }

  void ExpectRejected(const Answer& answer) {
    EXPECT_EQ(answer.count, 1);
    EXPECT_EQ(answer.kind, Answer::Kind::kError);
    EXPECT_EQ(answer.code, "invalid_argument");
    EXPECT_EQ(answer.message, "Expected a boolean theme value.");
    EXPECT_FALSE(answer.has_details);
    EXPECT_TRUE(window.painted.empty());
  }

  FakeWindow window;
};

TEST_F(WindowStyleHandlerTest, BoolThemesArePaintedAndAnsweredWithoutValue) {
  for (bool dark : {false, true, false}) {
    Answer answer = Call("setTitleBarTheme", EncodableValue(dark));
    EXPECT_EQ(answer.count, 1);
    EXPECT_EQ(answer.kind, Answer::Kind::kSuccess);
    EXPECT_FALSE(answer.value.has_value());
  }
  EXPECT_EQ(window.painted, (std::vector<bool>{false, true, false}));
}

TEST_F(WindowStyleHandlerTest, RejectsEverythingButABool) {
  ExpectRejected(Call("setTitleBarTheme", EncodableValue(int32_t{1})));
  ExpectRejected(Call("setTitleBarTheme", EncodableValue(int32_t{0})));
  ExpectRejected(Call("setTitleBarTheme", EncodableValue(int64_t{1})));
  ExpectRejected(Call("setTitleBarTheme", EncodableValue("dark")));
  ExpectRejected(Call("setTitleBarTheme", EncodableValue()));
  ExpectRejected(Call("setTitleBarTheme", EncodableValue(EncodableList{EncodableValue(true)})));
  ExpectRejected(Call("setTitleBarTheme", EncodableValue(EncodableMap{
                                              {EncodableValue("dark"), EncodableValue(true)}})));
  ExpectRejected(Call("setTitleBarTheme", std::unique_ptr<EncodableValue>()));
}

TEST_F(WindowStyleHandlerTest, OtherMethodNamesAreNotImplemented) {
  for (const char* method : {"setTitleBarThem", "setTitleBarThemes", "SetTitleBarTheme",
                             "settitlebartheme", "", "setTitleBarTheme "}) {
    Answer answer = Call(method, EncodableValue(true));
    EXPECT_EQ(answer.count, 1) << method;
    EXPECT_EQ(answer.kind, Answer::Kind::kNotImplemented) << method;
  }
  EXPECT_TRUE(window.painted.empty());
}

// An embedded NUL must not let a longer name pass as the real one.
TEST_F(WindowStyleHandlerTest, NameWithTrailingNulIsNotImplemented) {
  Answer answer = Call(std::string("setTitleBarTheme\0x", 18), EncodableValue(true));
  EXPECT_EQ(answer.kind, Answer::Kind::kNotImplemented);
  EXPECT_TRUE(window.painted.empty());
}

}  // namespace
