#include "desktop_shell/desktop_shell_channel.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using enum ShellAction;
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

TEST(DesktopShellChannelTest, PerformsEachMethodAndAnswersTrueWhateverTheArguments) {
  const std::vector<std::pair<std::string, std::vector<ShellAction>>> cases = {
      {"ensureTray", {kEnsureTray}},
      {"hideToTray", {kHideToTray}},
      {"showWindow", {kRestoreWindow}},
      {"quit", {kQuit}},
      {"Quit", {}},
      {"", {}},
      {"onCloseRequested", {}}};
  const EncodableValue force(
      flutter::EncodableMap{{EncodableValue("force"), EncodableValue(true)}});
  for (const auto& [method, expected] : cases) {
    for (const EncodableValue& arguments : {EncodableValue(), EncodableValue(false), force}) {
      std::string reply;
      std::vector<ShellAction> actions;
      HandleDesktopShellCall(
          flutter::MethodCall(method, std::make_unique<EncodableValue>(arguments)),
          std::make_unique<RecordingResult>(&reply), [&](ShellAction a) { actions.push_back(a); });
      EXPECT_EQ(reply, expected.empty() ? "not_implemented" : "true") << method;
      EXPECT_EQ(actions, expected) << method;
    }
  }
}

}  // namespace
