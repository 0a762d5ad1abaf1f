#include "audio/mic_gain_channel.h"

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/mic_gain_capture_processing.h"
#include "channels/encodable_value.h"
#include "channels/standard_method_codec.h"
#include "testing/webrtc_plugin/fake_webrtc_plugin.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// Keeps the handler a channel registers, so a test can deliver messages.
class CapturingMessenger : public flutter::BinaryMessenger {
 public:
  void Send(const std::string&, const uint8_t*, size_t, flutter::BinaryReply) const override {}
  void SetMessageHandler(const std::string& channel,
                         flutter::BinaryMessageHandler handler) override {
    handlers[channel] = std::move(handler);
  }

  std::map<std::string, flutter::BinaryMessageHandler> handlers;
};

Bytes StringValue(const std::string& text) {
  Bytes bytes = {0x07, static_cast<uint8_t>(text.size())};
  bytes.insert(bytes.end(), text.begin(), text.end());
  return bytes;
}

Bytes ExpectedMapError() {
  Bytes bytes = {0x01};
  for (const char* text : {"invalid_argument", "Expected a map."}) {
    const Bytes value = StringValue(text);
    bytes.insert(bytes.end(), value.begin(), value.end());
  }
  bytes.push_back(0x00);
  return bytes;
}

const Bytes kSuccessTrue = {0x00, 0x01};

class MicGainChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake_webrtc_plugin::ResetFake();
    channel = CreateMicGainChannel(&messenger);
  }

  MicGainCaptureProcessing& processor() { return MicGainCaptureProcessing::Instance(); }

  // Delivers one encoded call and returns the reply bytes; fails the test when
  // there is no reply.
  Bytes Call(const std::string& method, std::unique_ptr<EncodableValue> arguments) {
    const flutter::MethodCall call(method, std::move(arguments));
    const auto message = flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(call);
    Bytes reply;
    bool replied = false;
    messenger.handlers.at("parlora/mic_gain")(message->data(), message->size(),
                                              [&](const uint8_t* data, size_t size) {
                                                replied = true;
                                                reply.assign(data, data + size);
                                              });
    EXPECT_TRUE(replied) << method;
    return reply;
  }

  Bytes SetGain(EncodableMap arguments) {
    return Call("setGain", std::make_unique<EncodableValue>(std::move(arguments)));
  }

  // Puts the gain at a value no default or clamp produces, so a test sees
  // which value a call stored.
  void StartFrom(double gain) {
    SetGain({{EncodableValue("gain"), EncodableValue(gain)}});
    fake_webrtc_plugin::ResetFake();
  }

  CapturingMessenger messenger;
  std::unique_ptr<flutter::MethodChannel> channel;
};

TEST_F(MicGainChannelTest, SetGainAnswersTrue) {
  StartFrom(1.25);
  EXPECT_EQ(SetGain({{EncodableValue("gain"), EncodableValue(0.5)}}), kSuccessTrue);
  EXPECT_EQ(processor().CurrentGain(), 0.5f);
}

TEST_F(MicGainChannelTest, ArgumentsOtherThanAMapAreRejected) {
  StartFrom(0.5);
  std::vector<std::unique_ptr<EncodableValue>> arguments;
  arguments.push_back(nullptr);
  arguments.push_back(std::make_unique<EncodableValue>());
  arguments.push_back(std::make_unique<EncodableValue>(EncodableList{EncodableValue(1.5)}));
  arguments.push_back(std::make_unique<EncodableValue>(1.5));
  arguments.push_back(std::make_unique<EncodableValue>(int32_t{2}));
  for (auto& argument : arguments) {
    EXPECT_EQ(Call("setGain", std::move(argument)), ExpectedMapError());
  }
  EXPECT_EQ(processor().CurrentGain(), 0.5f);
  EXPECT_TRUE(fake_webrtc_plugin::Calls().empty());
  EXPECT_TRUE(fake_webrtc_plugin::LogLines().empty());
}

TEST_F(MicGainChannelTest, OtherMethodsAreNotImplemented) {
  StartFrom(0.5);
  for (const char* method : {"SetGain", "setgain", "setGain ", "getGain", ""}) {
    auto arguments = std::make_unique<EncodableValue>(
        EncodableMap{{EncodableValue("gain"), EncodableValue(1.5)}});
    EXPECT_EQ(Call(method, std::move(arguments)), Bytes{}) << '"' << method << '"';
  }
  EXPECT_EQ(processor().CurrentGain(), 0.5f);
}

TEST_F(MicGainChannelTest, StoresTheClampedGain) {
  const double infinity = std::numeric_limits<double>::infinity();
  const std::vector<std::pair<EncodableValue, float>> cases = {
      {EncodableValue(int32_t{2}), 2.0f},  {EncodableValue(3.5), 2.0f},
      {EncodableValue(-0.5), 0.0f},        {EncodableValue(0.25), 0.25f},
      {EncodableValue(1.0005), 1.0005f},   {EncodableValue(int32_t{0}), 0.0f},
      {EncodableValue(int32_t{-7}), 0.0f}, {EncodableValue(infinity), 2.0f},
      {EncodableValue(-infinity), 0.0f},   {EncodableValue(1e300), 2.0f},
      {EncodableValue(-1e300), 0.0f},
  };
  for (const auto& [value, stored] : cases) {
    StartFrom(0.5);
    EXPECT_EQ(SetGain({{EncodableValue("gain"), value}}), kSuccessTrue);
    EXPECT_EQ(processor().CurrentGain(), stored) << "case stored " << stored;
  }
}

TEST_F(MicGainChannelTest, UnusableValuesMeanUnity) {
  const std::vector<EncodableMap> cases = {
      {},
      {{EncodableValue("gain"), EncodableValue("1.5")}},
      {{EncodableValue("gain"), EncodableValue(int64_t{2})}},
      {{EncodableValue("gain"), EncodableValue(true)}},
      {{EncodableValue("gain"), EncodableValue()}},
      {{EncodableValue("gain"), EncodableValue(std::numeric_limits<double>::quiet_NaN())}},
      {{EncodableValue("Gain"), EncodableValue(0.5)}},
      {{EncodableValue(int32_t{1}), EncodableValue(0.5)}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    StartFrom(0.5);
    EXPECT_EQ(SetGain(cases[i]), kSuccessTrue) << "case " << i;
    EXPECT_EQ(processor().CurrentGain(), 1.0f) << "case " << i;
    EXPECT_TRUE(fake_webrtc_plugin::Calls().empty()) << "case " << i;
    EXPECT_TRUE(fake_webrtc_plugin::LogLines().empty()) << "case " << i;
  }
}

TEST_F(MicGainChannelTest, NearUnityAttemptsNoInstallation) {
  StartFrom(0.5);
  SetGain({{EncodableValue("gain"), EncodableValue(1.0005)}});
  SetGain({{EncodableValue("gain"), EncodableValue(0.9995)}});
  EXPECT_TRUE(fake_webrtc_plugin::Calls().empty());
  EXPECT_TRUE(fake_webrtc_plugin::LogLines().empty());
}

// The process-wide processor stays installed once it is, so this is the only
// test that lets the plug-in accept it.
TEST_F(MicGainChannelTest, InstallsOnceThePluginIsAvailable) {
  EXPECT_EQ(SetGain({{EncodableValue("gain"), EncodableValue(1.5)}}), kSuccessTrue);
  EXPECT_EQ(fake_webrtc_plugin::LogLines(), Lines{"mic_gain_webrtc_plugin_null"});

  fake_webrtc_plugin::SetBehaviour(fake_webrtc_plugin::Behaviour::kAccepting);
  EXPECT_EQ(SetGain({{EncodableValue("gain"), EncodableValue(1.2)}}), kSuccessTrue);
  EXPECT_EQ(SetGain({{EncodableValue("gain"), EncodableValue(0.5)}}), kSuccessTrue);
  EXPECT_EQ(SetGain({{EncodableValue("gain"), EncodableValue(int32_t{2})}}), kSuccessTrue);
  EXPECT_EQ(fake_webrtc_plugin::LogLines(),
            (Lines{"mic_gain_webrtc_plugin_null", "mic_gain_post_processing_installed"}));
  ASSERT_EQ(fake_webrtc_plugin::InstalledHook(), &processor());

  std::vector<float> block = {0.25f, -0.5f};
  fake_webrtc_plugin::InstalledHook()->Process(1, 2, 2, block.data());
  EXPECT_EQ(block, (std::vector<float>{0.5f, -1.0f}));
}

}  // namespace
