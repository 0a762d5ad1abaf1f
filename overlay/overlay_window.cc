// The overlay's window: class, procedure, refresh timer, visibility and
// placement.
#include <exception>
#include <mutex>
#include <string>

#include "overlay/overlay_layout.h"
#include "overlay/overlay_placement.h"
#include "overlay/overlay_visibility.h"
#include "overlay/voice_overlay.h"

namespace {

constexpr wchar_t kOverlayClassName[] = L"VelmoVoiceOverlayWindow";
constexpr DWORD kOverlayExStyle =
    WS_EX_TOPMOST | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_NOACTIVATE;
constexpr int kInitialWidth = 280;
constexpr int kInitialHeight = 100;
constexpr UINT_PTR kRefreshTimerId = 0x564F56;
constexpr UINT kRefreshPeriodMs = 400;
constexpr int kClassNameCapacity = 256;

std::optional<PixelRect> MonitorRect(HMONITOR monitor) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (monitor == nullptr || !GetMonitorInfoW(monitor, &info)) {
    return std::nullopt;
  }
  return PixelRect{info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right,
                   info.rcMonitor.bottom};
}

DWORD ProcessOf(HWND window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  return process_id;
}

}  // namespace

LRESULT CALLBACK VoiceOverlay::OverlayWndProc(HWND window, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, message, wparam, lparam);
  }
  auto* overlay = reinterpret_cast<VoiceOverlay*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_TIMER && wparam == kRefreshTimerId && overlay != nullptr) {
    try {
      overlay->Refresh();
    } catch (const std::exception&) {
      // Out of memory while copying the state: the next tick tries again.
    }
    return 0;
  }
  if (message == kAvatarsReadyMessage && overlay != nullptr) {
    try {
      overlay->OnAvatarsReady();
    } catch (const std::exception&) {
      // Out of memory while taking pictures in: they are asked for again.
    }
    return 0;
  }
  if (message == WM_NCHITTEST) {
    return HTTRANSPARENT;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void VoiceOverlay::EnsureWindow() {
  if (overlay_window != nullptr) {
    return;
  }
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!class_registered) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = OverlayWndProc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = kOverlayClassName;
    if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      return;
    }
    class_registered = true;
  }
  overlay_window = CreateWindowExW(kOverlayExStyle, kOverlayClassName, L"", WS_POPUP, 0, 0,
                                   kInitialWidth, kInitialHeight, nullptr, nullptr, instance, this);
  if (overlay_window != nullptr) {
    ShowWindow(overlay_window, SW_HIDE);
    avatar_message_window = overlay_window;
  }
}

void VoiceOverlay::StartTimer() {
  timer_id = SetTimer(overlay_window, kRefreshTimerId, kRefreshPeriodMs, nullptr);
}

void VoiceOverlay::Refresh() {
  if (overlay_window == nullptr) {
    EnsureWindow();
    if (overlay_window == nullptr) {
      return;
    }
  }
  if (timer_id == 0) {
    StartTimer();
  }
  // Also here, so that pictures whose wake-up was lost are not left waiting.
  DrainAvatars();

  std::unique_lock lock(state.state_mutex);
  if (!ShouldShow()) {
    lock.unlock();
    if (IsWindowVisible(overlay_window)) {
      ShowWindow(overlay_window, SW_HIDE);
    }
    placed.reset();
    return;
  }
  const std::size_t member_count = state.members.size();
  HWND foreground = GetForegroundWindow();
  lock.unlock();
  if (foreground == nullptr) {
    foreground = owner_window;
  }
  Place(MonitorFromWindow(foreground, MONITOR_DEFAULTTONEAREST), member_count);
  Render();
}

bool VoiceOverlay::ShouldShow() const {
  if (!OverlayWanted(state.enabled, state.active, state.members.size())) {
    return false;
  }
  ForegroundFacts facts;
  HWND foreground = GetForegroundWindow();
  facts.present = foreground != nullptr;
  if (facts.present) {
    facts.is_owner_or_overlay = foreground == owner_window || foreground == overlay_window;
    wchar_t class_name[kClassNameCapacity];
    const int length = GetClassNameW(foreground, class_name, kClassNameCapacity);
    if (length > 0) {
      facts.class_name = std::u16string(class_name, class_name + length);
    }
    facts.process_id = ProcessOf(foreground);
    facts.owner_process_id = ProcessOf(owner_window);
    facts.visible = IsWindowVisible(foreground) != FALSE;
    facts.iconic = IsIconic(foreground) != FALSE;
    RECT rect{};
    if (GetWindowRect(foreground, &rect)) {
      facts.window_rect = PixelRect{rect.left, rect.top, rect.right, rect.bottom};
    }
    facts.monitor_rect = MonitorRect(MonitorFromWindow(foreground, MONITOR_DEFAULTTONEAREST));
    facts.style = static_cast<uint32_t>(GetWindowLongW(foreground, GWL_STYLE));
  }
  return DecideVisibility(state.enabled, state.active, state.members.size(), facts) ==
         OverlayVisibility::kShow;
}

void VoiceOverlay::Place(HMONITOR monitor, std::size_t member_count) {
  const std::optional<PixelRect> monitor_rect = MonitorRect(monitor);
  if (overlay_window == nullptr || !monitor_rect) {
    return;
  }
  std::string position;
  double scale = 0;
  {
    std::lock_guard lock(state.state_mutex);
    position = state.position;
    scale = state.scale;
  }
  const OverlayPlacement placement = PlaceOverlay(*monitor_rect, position, scale, member_count);
  if (placed != placement || !IsWindowVisible(overlay_window)) {
    SetWindowPos(overlay_window, HWND_TOPMOST, placement.x, placement.y, placement.width,
                 placement.height, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    placed = placement;
    push_whole = true;
    return;
  }
  // A topmost window raised since (a full-screen game, say) would cover the
  // overlay for good: back on top at every tick, without moving or sizing.
  SetWindowPos(overlay_window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}
