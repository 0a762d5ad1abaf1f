// Cost of one overlay frame: 16 members (speaking, muted, plain; no pictures)
// drawn with GDI+ and pushed to the layered window.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <utility>

#include "channels/encodable_value.h"
#include "channels/standard_method_codec.h"
#include "overlay/voice_overlay.h"

namespace {

// Keeps the one handler the overlay registers, so calls can be made to it.
class DirectMessenger : public flutter::BinaryMessenger {
 public:
  void Send(const std::string&, const uint8_t*, size_t, flutter::BinaryReply) const override {}
  void SetMessageHandler(const std::string&, flutter::BinaryMessageHandler handler) override {
    handler_ = std::move(handler);
  }
  void Call(const std::string& method, flutter::EncodableValue arguments) {
    const auto message = flutter::StandardMethodCodec::GetInstance().EncodeMethodCall(
        flutter::MethodCall(method, std::make_unique<flutter::EncodableValue>(arguments)));
    handler_(message->data(), message->size(), [](const uint8_t*, size_t) {});
  }

 private:
  flutter::BinaryMessageHandler handler_;
};

constexpr int kMembers = 16;
constexpr int kWidth = 322;   // at scale 1.15
constexpr int kHeight = 750;  // 16 rows at scale 1.15

void BM_RenderSixteenMembers(benchmark::State& state) {
  DirectMessenger messenger;
  VoiceOverlay overlay(nullptr, &messenger);
  flutter::EncodableList members;
  for (int i = 0; i < kMembers; ++i) {
    members.push_back(flutter::EncodableValue(flutter::EncodableMap{
        {flutter::EncodableValue("name"), flutter::EncodableValue("Member " + std::to_string(i))},
        {flutter::EncodableValue("speaking"), flutter::EncodableValue(i % 3 == 0)},
        {flutter::EncodableValue("muted"), flutter::EncodableValue(i % 4 == 1)}}));
  }
  messenger.Call(
      "setMembers",
      flutter::EncodableValue(flutter::EncodableMap{
          {flutter::EncodableValue("members"), flutter::EncodableValue(std::move(members))}}));
  SetWindowPos(overlay.overlay_window_handle(), nullptr, 0, 0, kWidth, kHeight,
               SWP_NOZORDER | SWP_NOACTIVATE);
  for (auto _ : state) {
    overlay.Render();
  }
}
BENCHMARK(BM_RenderSixteenMembers)->Unit(benchmark::kMillisecond);

}  // namespace
