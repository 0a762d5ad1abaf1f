#include "audio/sidetone_engine_control.h"

#include <windows.h>

#include <utility>

#include "audio/sidetone_engine.h"
#include "base/wide_text.h"
#include "channels/standard_method_codec.h"

namespace {

// How often a pending start, or a stopped worker not yet joined, is looked
// at; the system may round it up to its timer resolution.
constexpr UINT kPollMs = 10;

// The thread timer that polls the engine, 0 while none runs. Only the
// platform thread touches it.
UINT_PTR poll_timer = 0;

void CALLBACK PollEngine(HWND, UINT, UINT_PTR, DWORD) {
  if (!SidetoneEngine::Instance().Poll(SidetoneEngine::Clock::now())) {
    KillTimer(nullptr, poll_timer);
    poll_timer = 0;
  }
}

// Keeps the timer running while the engine has something to watch. A thread
// timer is dispatched by whichever message loop runs on this thread, modal
// ones included, so answers and joins happen on the platform thread.
void PollWhileNeeded() {
  SidetoneEngine& engine = SidetoneEngine::Instance();
  if (!engine.NeedsPolling() || poll_timer != 0) {
    return;
  }
  poll_timer = SetTimer(nullptr, 0, kPollMs, PollEngine);
  if (poll_timer == 0 && engine.StartPending()) {
    // Nothing would ever answer: the start ends as a failed one.
    engine.Stop();
  }
}

}  // namespace

void SidetoneEngineControl::Start(const std::string& input_device_id,
                                  const std::string& output_device_id, float volume,
                                  std::function<void(bool)> answer) {
  SidetoneEngine::Instance().Start(Utf8ToWide(input_device_id), Utf8ToWide(output_device_id),
                                   volume, std::move(answer));
  PollWhileNeeded();
}

void SidetoneEngineControl::SetVolume(float volume) {
  SidetoneEngine::Instance().SetVolume(volume);
}

void SidetoneEngineControl::Stop() {
  SidetoneEngine::Instance().Stop();
  PollWhileNeeded();
}

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
