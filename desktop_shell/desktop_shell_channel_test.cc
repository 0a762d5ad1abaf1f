#include "desktop_shell/desktop_shell_channel.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using flutter::EncodableValue;

class RecordingResult : public flutter::MethodResult {
 public:
  explicit RecordingResult(std::string* log) : log_(log) {}

 protected:
  void SuccessInternal(const EncodableValue* value) override {
    *log_ += value != nullptr && *value == EncodableValue(true) ? "true" : "other";
  }
  void ErrorInternal(const std::string&, const std::string&, const EncodableValue*) override {
    *log_ += "error";
  }
  void NotImplementedInternal() override { *log_ += "not_implemented"; }

 private:
  std::string* log_;
};

struct MethodCase {
  const char* method;
  std::optional<ShellAction> action;  // none: not implemented
};

class DesktopShellChannelTest : public ::testing::TestWithParam<MethodCase> {};

TEST_P(DesktopShellChannelTest, PerformsAndAnswersTrueWhateverTheArguments) {
  const MethodCase& c = GetParam();
  for (const EncodableValue& arguments :
       {EncodableValue(), EncodableValue(false),
        EncodableValue(flutter::EncodableMap{{EncodableValue("force"), EncodableValue(true)}})}) {
    std::string reply;
    std::vector<ShellAction> actions;
    HandleDesktopShellCall(
        flutter::MethodCall(c.method, std::make_unique<EncodableValue>(arguments)),
        std::make_unique<RecordingResult>(&reply),
        [&actions](ShellAction action) { actions.push_back(action); });
    EXPECT_EQ(reply, c.action ? "true" : "not_implemented");
    EXPECT_EQ(actions, c.action ? std::vector<ShellAction>{*c.action} : std::vector<ShellAction>{});
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, DesktopShellChannelTest,
                         ::testing::Values(MethodCase{"ensureTray", ShellAction::kEnsureTray},
                                           MethodCase{"hideToTray", ShellAction::kHideToTray},
                                           MethodCase{"showWindow", ShellAction::kRestoreWindow},
                                           MethodCase{"quit", ShellAction::kQuit},
                                           MethodCase{"Quit", std::nullopt},
                                           MethodCase{"quit ", std::nullopt},
                                           MethodCase{"", std::nullopt},
                                           MethodCase{"onCloseRequested", std::nullopt}));

}  // namespace
