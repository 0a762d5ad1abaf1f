// Cost of one overlay frame of 16 members (speaking, muted, plain; no
// pictures), composited and pushed to the layered window. Every frame
// changes who speaks, so every row is drawn again in new colours; the names
// stay, as between the frames of one voice session. A second case gives
// every frame new names, whose texts are laid out first.
#include <winsock2.h>

#include <benchmark/benchmark.h>

#include <chrono>
#include <optional>
#include <thread>

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

// Destroying the overlay while its fetcher waits on a server that accepted
// the connection and never answers (a listening socket nobody accepts on).
void BM_DestroyWithDownloadInFlight(benchmark::State& state) {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof(address);
  bind(listener, reinterpret_cast<sockaddr*>(&address), length);
  listen(listener, SOMAXCONN);
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string base = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
  int round = 0;
  for (auto _ : state) {
    DirectMessenger messenger;
    std::optional<VoiceOverlay> overlay(std::in_place, nullptr, &messenger);
    messenger.Call("setMembers",
                   flutter::EncodableValue(flutter::EncodableMap{
                       {flutter::EncodableValue("members"),
                        flutter::EncodableValue(
                            flutter::EncodableList{flutter::EncodableValue(flutter::EncodableMap{
                                {flutter::EncodableValue("avatarUrl"),
                                 flutter::EncodableValue(base + std::to_string(++round))}})})}}));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the request is out
    const auto start = std::chrono::steady_clock::now();
    overlay.reset();
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  closesocket(listener);
  WSACleanup();
}
BENCHMARK(BM_DestroyWithDownloadInFlight)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_RenderSixteenMembers)->Unit(benchmark::kMillisecond);

}  // namespace
