#ifndef VELMO_OVERLAY_VOICE_OVERLAY_H_
#define VELMO_OVERLAY_VOICE_OVERLAY_H_

#include <windows.h>

#include <memory>
#include <string>
#include <unordered_map>

#include "channels/binary_messenger.h"
#include "channels/method_channel.h"
#include "overlay/avatar_backoff.h"
#include "overlay/gdiplus_include.h"
#include "overlay/overlay_state.h"

// The always-on-top, click-through list of the voice session's members,
// shown only while a full-screen window of another process is in front.
// Driven over "parlora/voice_overlay"; everything runs on the thread that
// created it, the main window's.
class VoiceOverlay {
 public:
  VoiceOverlay(HWND owner_window, flutter::BinaryMessenger* messenger);
  ~VoiceOverlay();

  VoiceOverlay(const VoiceOverlay&) = delete;
  VoiceOverlay& operator=(const VoiceOverlay&) = delete;

  // Shows and places the overlay, or hides it, from the current state and
  // foreground window. Called by the timer and after each channel call.
  void Refresh();

  // Draws the member rows into the window with per-pixel alpha.
  void Render();

  // The decoded picture for an address, from memory, disk or the network;
  // null when there is none. Valid until the overlay is destroyed.
  Gdiplus::Bitmap* GetAvatar(const std::string& url);

  HWND overlay_window_handle() const { return overlay_window; }

 private:
  static LRESULT CALLBACK OverlayWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  void EnsureWindow();
  void StartTimer();
  // Called with state_mutex held.
  bool ShouldShow() const;
  void Place(HMONITOR monitor, std::size_t member_count);

  std::wstring AvatarDirectory() const;
  std::wstring AvatarPath(const std::string& url) const;
  bool EnsureAvatarFile(const std::string& url, const std::wstring& path) const;

  HWND owner_window;
  HWND overlay_window = nullptr;
  UINT_PTR timer_id = 0;
  bool gdiplus_started = false;
  ULONG_PTR gdiplus_token = 0;
  bool class_registered = false;
  // Settings, session flag, members, and under the same lock the avatar
  // cache and the failed-fetch record.
  OverlayState state;
  std::unordered_map<std::string, std::unique_ptr<Gdiplus::Bitmap>> avatar_cache;
  AvatarBackoff avatar_backoff;
  // A download may run a modal message loop, in which the refresh timer
  // fires and draws again; such nested frames take pictures from the cache
  // only instead of starting a second download.
  bool fetching_avatar = false;
  std::unique_ptr<flutter::MethodChannel> channel;
};

#endif  // VELMO_OVERLAY_VOICE_OVERLAY_H_
