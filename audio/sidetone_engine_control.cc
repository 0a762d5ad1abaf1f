#include "audio/sidetone_engine_control.h"

#include <windows.h>

#include <utility>

#include "audio/sidetone_engine.h"
#include "base/wide_text.h"
#include "channels/standard_method_codec.h"

namespace {

// How often a pending start looks at the worker; the system may round it up
// to its timer resolution.
constexpr UINT kStartPollMs = 10;

// The thread timer that polls a pending start, 0 while none runs. Only the
// platform thread touches it.
UINT_PTR start_poll_timer = 0;

void CALLBACK PollPendingStart(HWND, UINT, UINT_PTR, DWORD) {
  if (!SidetoneEngine::Instance().Poll(SidetoneEngine::Clock::now())) {
    KillTimer(nullptr, start_poll_timer);
    start_poll_timer = 0;
  }
}

}  // namespace

void SidetoneEngineControl::Start(const std::string& input_device_id,
                                  const std::string& output_device_id, float volume,
                                  std::function<void(bool)> answer) {
  SidetoneEngine& engine = SidetoneEngine::Instance();
  engine.Start(Utf8ToWide(input_device_id), Utf8ToWide(output_device_id), volume,
               std::move(answer));
  if (!engine.StartPending() || start_poll_timer != 0) {
    return;
  }
  // A thread timer is dispatched by whichever message loop runs on this
  // thread, modal ones included, so the answer comes on the platform thread.
  start_poll_timer = SetTimer(nullptr, 0, kStartPollMs, PollPendingStart);
  if (start_poll_timer == 0) {
    // Nothing would ever answer: the start ends as a failed one.
    engine.Stop();
  }
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
