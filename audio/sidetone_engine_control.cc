#include "audio/sidetone_engine_control.h"

#include <utility>

#include "audio/sidetone_engine.h"
#include "base/wide_text.h"
#include "channels/standard_method_codec.h"

bool SidetoneEngineControl::Start(const std::string& input_device_id,
                                  const std::string& output_device_id, float volume) {
  return SidetoneEngine::Instance().Start(Utf8ToWide(input_device_id), Utf8ToWide(output_device_id),
                                          volume);
}

void SidetoneEngineControl::SetVolume(float volume) {
  SidetoneEngine::Instance().SetVolume(volume);
}

void SidetoneEngineControl::Stop() { SidetoneEngine::Instance().Stop(); }

std::unique_ptr<flutter::MethodChannel> CreateSidetoneChannel(flutter::BinaryMessenger* messenger) {
  auto channel = std::make_unique<flutter::MethodChannel>(
      messenger, kSidetoneChannelName, &flutter::StandardMethodCodec::GetInstance());
  channel->SetMethodCallHandler(
      [](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
        SidetoneEngineControl control;
        HandleSidetoneCall(call, std::move(result), control);
      });
  return channel;
}
