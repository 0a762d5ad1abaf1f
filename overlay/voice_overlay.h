#ifndef VELMO_OVERLAY_VOICE_OVERLAY_H_
#define VELMO_OVERLAY_VOICE_OVERLAY_H_

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "channels/binary_messenger.h"
#include "channels/method_channel.h"
#include "overlay/avatar_fetcher.h"
#include "overlay/gdi_handles.h"
#include "overlay/gdiplus_include.h"
#include "overlay/overlay_mask_cache.h"
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
  static constexpr std::size_t kAvatarCacheSize = 64;

  VoiceOverlay(HWND owner_window, flutter::BinaryMessenger* messenger);
  ~VoiceOverlay();

  VoiceOverlay(const VoiceOverlay&) = delete;
  VoiceOverlay& operator=(const VoiceOverlay&) = delete;

  // Shows and places the overlay, or hides it, from the current state and
  // foreground window. Called by the timer and after each channel call.
  void Refresh();

  // Draws the member rows into the window with per-pixel alpha.
  void Render();

  // The picture for an address, scaled to `size`, from memory; null when it
  // is not there yet, in which case it is asked of the fetcher. Valid until
  // the next message is handled.
  const ScaledAvatar* GetAvatar(const std::string& url, int size);

  HWND overlay_window_handle() const { return overlay_window; }

 private:
  static LRESULT CALLBACK OverlayWndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  void EnsureWindow();
  void StartTimer();
  // Called with state_mutex held.
  bool ShouldShow() const;
  // Sizes and shows the window on `monitor`; moves it only when the place
  // differs from the last frame's.
  std::optional<OverlayPlacement> Place(HMONITOR monitor, std::size_t member_count);

  void StartFetcher();
  // Asks for a member's picture at the size the current scale draws it.
  void RequestAvatar(const std::string& url);
  // Takes the fetcher's pictures into the cache; one redraw for them all.
  void OnAvatarsReady();

  // What a frame shows; a tick that finds it unchanged draws nothing.
  struct FrameInputs {
    std::vector<OverlayMember> members;
    double scale = 0;
    double opacity = 0;
    OverlayPlacement placement;
    uint64_t pictures = 0;  // avatar_generation when drawn
    bool operator==(const FrameInputs&) const = default;
  };

  HWND owner_window;
  HWND overlay_window = nullptr;
  UINT_PTR timer_id = 0;
  bool gdiplus_started = false;
  ULONG_PTR gdiplus_token = 0;
  bool class_registered = false;
  OverlayState state;
  // Scaled pictures by address, touched only on this thread; the least
  // recently drawn goes first beyond kAvatarCacheSize.
  struct CachedAvatar {
    ScaledAvatar picture;
    uint64_t last_used = 0;
  };
  std::unordered_map<std::string, CachedAvatar> avatar_cache;
  uint64_t avatar_uses = 0;
  uint64_t avatar_generation = 0;       // counts pictures taken in
  std::optional<FrameInputs> drawn;     // none while hidden or never drawn
  std::unique_ptr<DibSurface> surface;  // what the window shows
  // What each row of `surface` shows, so that a frame draws again only the
  // rows that changed.
  struct DrawnRow {
    OverlayMember member;
    const ScaledAvatar* picture = nullptr;
    RECT extent{};  // every pixel the row touches
  };
  std::vector<DrawnRow> drawn_rows;
  double drawn_scale = 0;
  double drawn_opacity = 0;
  uint64_t drawn_pictures = 0;
  std::unique_ptr<OverlayMaskCache> masks;
  std::unique_ptr<AvatarFetchSystem> fetch_system;
  std::unique_ptr<AvatarFetcher> fetcher;
  // Where the fetcher's thread posts; set once the window exists.
  std::atomic<HWND> avatar_message_window{nullptr};
  std::unique_ptr<flutter::MethodChannel> channel;
};

#endif  // VELMO_OVERLAY_VOICE_OVERLAY_H_
