// Cost of one overlay frame of 16 members (speaking, muted, plain; no
// pictures), composited and pushed to the layered window. Every frame
// changes who speaks, so every row is drawn again in new colours; the names
// stay, as between the frames of one voice session. A second case gives
// every frame new names, whose texts are laid out first.
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

void SetMembers(DirectMessenger& messenger, int frame, const std::string& name) {
  flutter::EncodableList members;
  for (int i = 0; i < kMembers; ++i) {
    members.push_back(flutter::EncodableValue(flutter::EncodableMap{
        {flutter::EncodableValue("name"), flutter::EncodableValue(name + std::to_string(i))},
        {flutter::EncodableValue("speaking"), flutter::EncodableValue((i + frame) % 3 == 0)},
        {flutter::EncodableValue("muted"), flutter::EncodableValue(i % 4 == 1)}}));
  }
  messenger.Call(
      "setMembers",
      flutter::EncodableValue(flutter::EncodableMap{
          {flutter::EncodableValue("members"), flutter::EncodableValue(std::move(members))}}));
}

void RenderFrames(benchmark::State& state, bool new_names) {
  DirectMessenger messenger;
  VoiceOverlay overlay(nullptr, &messenger);
  SetMembers(messenger, 0, "Member ");
  SetWindowPos(overlay.overlay_window_handle(), nullptr, 0, 0, kWidth, kHeight,
               SWP_NOZORDER | SWP_NOACTIVATE);
  overlay.Render();
  int frame = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ++frame;
    SetMembers(messenger, frame, new_names ? "Frame " + std::to_string(frame) + " " : "Member ");
    state.ResumeTiming();
    overlay.Render();
  }
}

void BM_RenderSixteenMembers(benchmark::State& state) { RenderFrames(state, false); }
void BM_RenderSixteenNewNames(benchmark::State& state) { RenderFrames(state, true); }
BENCHMARK(BM_RenderSixteenNewNames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderSixteenMembers)->Unit(benchmark::kMillisecond);

}  // namespace
