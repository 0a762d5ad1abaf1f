#include "overlay/voice_overlay.h"

#include <mutex>
#include <utility>

#include "base/utf8_to_utf16.h"
#include "channels/standard_method_codec.h"
#include "overlay/avatar/windows_avatar_fetch_system.h"
#include "overlay/gdiplus_text_rasteriser.h"
#include "overlay/voice_overlay_channel.h"

VoiceOverlay::VoiceOverlay(HWND owner_window, flutter::BinaryMessenger* messenger,
                           std::unique_ptr<AvatarFetchSystem> avatar_system)
    : owner_window(owner_window),
      painter([](double scale) { return std::make_unique<GdiplusTextRasteriser>(scale); }) {
  Gdiplus::GdiplusStartupInput input;
  gdiplus_started = Gdiplus::GdiplusStartup(&gdiplus_token, &input, nullptr) == Gdiplus::Ok;

  channel = std::make_unique<flutter::MethodChannel>(messenger, kVoiceOverlayChannelName,
                                                     &flutter::StandardMethodCodec::GetInstance());
  channel->SetMethodCallHandler([this](const flutter::MethodCall& call,
                                       std::unique_ptr<flutter::MethodResult> result) {
    HandleVoiceOverlayCall(
        call, std::move(result), state,
        VoiceOverlayCallHooks{Utf8ToUtf16, [this](const std::string& url) { RequestAvatar(url); },
                              [this] { Refresh(); }});
  });

  if (gdiplus_started) {
    fetch_system =
        avatar_system ? std::move(avatar_system) : std::make_unique<WindowsAvatarFetchSystem>();
    fetcher = std::make_unique<AvatarFetcher>(*fetch_system, [this] {
      if (HWND window = avatar_message_window.load(); window != nullptr) {
        PostMessageW(window, kAvatarsReadyMessage, 0, 0);
      }
    });
    fetcher->Start();
  }

  EnsureWindow();
  if (overlay_window != nullptr) {
    StartTimer();
  }
}

VoiceOverlay::~VoiceOverlay() {
  // First, so that no picture is handed to a window or an overlay on its way
  // out; a download in flight is given up.
  if (fetcher) {
    fetcher->Stop();
  }
  avatar_message_window = nullptr;
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
  avatars.Clear();
  painter.Forget();
  surface.reset();
  // Only once nothing uses GDI+ any more.
  fetcher.reset();
  fetch_system.reset();
  if (gdiplus_started) {
    Gdiplus::GdiplusShutdown(gdiplus_token);
    gdiplus_started = false;
  }
}
