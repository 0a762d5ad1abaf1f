#ifndef VELMO_OVERLAY_VOICE_OVERLAY_H_
#define VELMO_OVERLAY_VOICE_OVERLAY_H_

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "channels/binary_messenger.h"
#include "channels/method_channel.h"
#include "overlay/avatar/avatar_fetcher.h"
#include "overlay/avatar/avatar_memory.h"
#include "overlay/gdi_handles.h"
#include "overlay/gdiplus_include.h"
#include "overlay/overlay_painter.h"
#include "overlay/overlay_placement.h"
#include "overlay/overlay_state.h"

// The always-on-top, click-through list of the voice session's members,
// shown only while a full-screen window of another process is in front.
// Driven over "parlora/voice_overlay"; everything runs on the thread that
// created it, the main window's, except avatar downloads and decoding, which
// a fetcher thread does and hands back with a posted message.
class VoiceOverlay {
 public:
  // Posted by the fetcher's thread when pictures wait to be taken in.
  static constexpr UINT kAvatarsReadyMessage = WM_APP + 0x56;

  // `avatar_system` is the avatars' way to the network, disk and decoder;
  // none means Windows' own.
  VoiceOverlay(HWND owner_window, flutter::BinaryMessenger* messenger,
               std::unique_ptr<AvatarFetchSystem> avatar_system = nullptr);
  ~VoiceOverlay();

  VoiceOverlay(const VoiceOverlay&) = delete;
  VoiceOverlay& operator=(const VoiceOverlay&) = delete;

  // Shows and places the overlay, or hides it, from the current state and
  // foreground window. Called by the timer and after each channel call.
  void Refresh();

  // Draws the member rows into the window with per-pixel alpha.
  void Render();

  // The picture for an address, scaled to `size`, from memory; null when it
  // is not there yet. Unless it is there at that size, it is asked of the
  // fetcher. Valid until pictures are next taken in, between frames.
  const ScaledAvatar* GetAvatar(const std::string& url, int size);

  HWND overlay_window_handle() const { return overlay_window; }

 private:
  static LRESULT CALLBACK OverlayWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  void EnsureWindow();
  void StartTimer();
  // Called with state_mutex held.
  bool ShouldShow() const;
  // Sizes and shows the window on `monitor`, moving it only when the place
  // changed, and puts it above other topmost windows again either way.
  void Place(HMONITOR monitor, std::size_t member_count);

  // Asks for a member's picture at the size the current scale draws it.
  void RequestAvatar(const std::string& url);
  // Takes the fetcher's pictures into memory, between frames; true when
  // there were any.
  bool DrainAvatars();
  // Posted by the fetcher: the pictures waiting, with one redraw for them.
  void OnAvatarsReady();

  HWND owner_window;
  HWND overlay_window = nullptr;
  UINT_PTR timer_id = 0;
  bool gdiplus_started = false;
  ULONG_PTR gdiplus_token = 0;
  bool class_registered = false;
  OverlayState state;
  // Window: where the overlay was last placed, none while hidden.
  std::optional<OverlayPlacement> placed;
  // Drawing: what the window shows and the one record of what was painted.
  std::unique_ptr<DibSurface> surface;
  OverlayPainter painter;
  bool push_whole = true;  // the window moved, or missed a frame
  // Pictures: in memory, touched only on this thread, and their fetcher.
  AvatarMemory avatars;
  std::unique_ptr<AvatarFetchSystem> fetch_system;
  std::unique_ptr<AvatarFetcher> fetcher;
  // Where the fetcher's thread posts; set once the window exists.
  std::atomic<HWND> avatar_message_window{nullptr};
  std::unique_ptr<flutter::MethodChannel> channel;
};

#endif  // VELMO_OVERLAY_VOICE_OVERLAY_H_
