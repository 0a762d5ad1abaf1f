#include "overlay/voice_overlay.h"

#include <mutex>
#include <utility>

#include "base/utf8_to_utf16.h"
#include "channels/standard_method_codec.h"
#include "overlay/voice_overlay_channel.h"

VoiceOverlay::VoiceOverlay(HWND owner_window, flutter::BinaryMessenger* messenger)
    : owner_window(owner_window) {
  Gdiplus::GdiplusStartupInput input;
  gdiplus_started = Gdiplus::GdiplusStartup(&gdiplus_token, &input, nullptr) == Gdiplus::Ok;

  channel = std::make_unique<flutter::MethodChannel>(messenger, kVoiceOverlayChannelName,
                                                     &flutter::StandardMethodCodec::GetInstance());
  channel->SetMethodCallHandler(
      [this](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
        HandleVoiceOverlayCall(
            call, std::move(result), state,
            VoiceOverlayCallHooks{Utf8ToUtf16, [this](const std::string& url) { GetAvatar(url); },
                                  [this] { Refresh(); }});
      });

  EnsureWindow();
  if (overlay_window != nullptr) {
    StartTimer();
  }
}

VoiceOverlay::~VoiceOverlay() {
  if (overlay_window != nullptr && timer_id != 0) {
    KillTimer(overlay_window, timer_id);
    timer_id = 0;
  }
  if (overlay_window != nullptr) {
    DestroyWindow(overlay_window);
    overlay_window = nullptr;
  }
  // The registration outlives the channel object: take it away first so no
  // call can reach this object once it is gone.
  channel->SetMethodCallHandler(nullptr);
  channel.reset();
  {
    std::lock_guard lock(state.state_mutex);
    avatar_cache.clear();
  }
  // Only once every cached bitmap is gone.
  if (gdiplus_started) {
    Gdiplus::GdiplusShutdown(gdiplus_token);
    gdiplus_started = false;
  }
}
