#include "desktop_shell/desktop_shell_channel.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "channels/engine_method_result.h"
#include "channels/standard_method_codec.h"

namespace {

using enum ShellAction;
using flutter::EncodableValue;

const std::vector<uint8_t> kSuccessTrue = {0x00, 0x01};

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
      std::vector<uint8_t> reply = {0xFF};
      std::vector<ShellAction> actions;
      HandleDesktopShellCall(
          flutter::MethodCall(method, std::make_unique<EncodableValue>(arguments)),
          std::make_unique<flutter::EngineMethodResult>(
              [&reply](const uint8_t* data, size_t size) { reply.assign(data, data + size); },
              &flutter::StandardMethodCodec::GetInstance()),
          [&](ShellAction a) { actions.push_back(a); });
      // An empty reply is the codec's "not implemented".
      EXPECT_EQ(reply, expected.empty() ? std::vector<uint8_t>{} : kSuccessTrue) << method;
      EXPECT_EQ(actions, expected) << method;
    }
  }
}

}  // namespace
