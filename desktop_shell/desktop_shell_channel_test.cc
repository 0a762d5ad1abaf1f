#include "desktop_shell/desktop_shell_channel.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channels/encodable_value.h"

namespace {

using flutter::EncodableValue;

class RecordingResult : public flutter::MethodResult {
 public:
  explicit RecordingResult(std::string* log) : log_(log) {}

 protected:
  void SuccessInternal(const EncodableValue* value) override {
    const bool* flag = value ? std::get_if<bool>(value) : nullptr;
    *log_ += flag == nullptr ? "success(other)" : (*flag ? "true" : "false");
  }
  void ErrorInternal(const std::string& code, const std::string&, const EncodableValue*) override {
    *log_ += "error(" + code + ")";
  }
  void NotImplementedInternal() override { *log_ += "not_implemented"; }

 private:
  std::string* log_;
};

struct Handled {
  std::string reply;
  std::vector<ShellAction> actions;
};

Handled Handle(const std::string& method, std::unique_ptr<EncodableValue> arguments = nullptr) {
  Handled handled;
  HandleDesktopShellCall(flutter::MethodCall(method, std::move(arguments)),
                         std::make_unique<RecordingResult>(&handled.reply),
                         [&handled](ShellAction action) { handled.actions.push_back(action); });
  return handled;
}

struct MethodCase {
  const char* method;
  std::optional<ShellAction> action;  // none: not implemented
};

class DesktopShellChannelTest : public ::testing::TestWithParam<MethodCase> {};

TEST_P(DesktopShellChannelTest, PerformsAndAnswersTrueWhateverTheArguments) {
  const MethodCase& c = GetParam();
  const std::vector<std::unique_ptr<EncodableValue>> argument_kinds = [] {
    std::vector<std::unique_ptr<EncodableValue>> kinds;
    kinds.push_back(nullptr);
    kinds.push_back(std::make_unique<EncodableValue>(false));
    kinds.push_back(std::make_unique<EncodableValue>(std::string("window")));
    kinds.push_back(std::make_unique<EncodableValue>(
        flutter::EncodableMap{{EncodableValue("force"), EncodableValue(true)}}));
    return kinds;
  }();
  for (const auto& arguments : argument_kinds) {
    auto copy = arguments ? std::make_unique<EncodableValue>(*arguments) : nullptr;
    const Handled handled = Handle(c.method, std::move(copy));
    if (c.action) {
      EXPECT_EQ(handled.reply, "true");
      EXPECT_EQ(handled.actions, std::vector<ShellAction>{*c.action});
    } else {
      EXPECT_EQ(handled.reply, "not_implemented");
      EXPECT_TRUE(handled.actions.empty());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Methods, DesktopShellChannelTest,
    ::testing::Values(MethodCase{"ensureTray", ShellAction::kEnsureTray},
                      MethodCase{"hideToTray", ShellAction::kHideToTray},
                      MethodCase{"showWindow", ShellAction::kRestoreWindow},
                      MethodCase{"quit", ShellAction::kQuit}, MethodCase{"Quit", std::nullopt},
                      MethodCase{"showwindow", std::nullopt}, MethodCase{"quit ", std::nullopt},
                      MethodCase{"", std::nullopt}, MethodCase{"onCloseRequested", std::nullopt}));

}  // namespace
