#include "host/win32_window.h"

#include "channels/engine/engine_api.h"
#include "host/window_identity.h"
#include "resources/resource.h"

namespace {

constexpr double kBaseDpi = 96.0;

int live_window_count = 0;
bool window_class_registered = false;

int Scale(int logical, double scale) { return static_cast<int>(logical * scale); }

void RegisterWindowClassOnce() {
  if (window_class_registered) {
    return;
  }
  WNDCLASSW window_class = {};
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = Win32Window::WindowProcedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hIcon = LoadIconW(window_class.hInstance, MAKEINTRESOURCEW(IDI_APP_ICON));
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kMainWindowClassName;
  RegisterClassW(&window_class);
  window_class_registered = true;
}

void UnregisterWindowClass() {
  UnregisterClassW(kMainWindowClassName, nullptr);
  window_class_registered = false;
}

// Frees the library it loaded when it goes out of scope.
class ScopedLibrary {
 public:
  explicit ScopedLibrary(const char* name) : module_(LoadLibraryA(name)) {}
  ~ScopedLibrary() {
    if (module_ != nullptr) {
      FreeLibrary(module_);
    }
  }
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;

  template <typename Function>
  Function Find(const char* name) const {
    if (module_ == nullptr) {
      return nullptr;
    }
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

// Scales the caption and borders with the DPI on the systems that offer it.
void EnableNonClientScaling(HWND hwnd) {
  using EnableNonClientDpiScalingFn = BOOL(WINAPI*)(HWND);
  ScopedLibrary user32("User32.dll");
  auto enable = user32.Find<EnableNonClientDpiScalingFn>("EnableNonClientDpiScaling");
  if (enable != nullptr) {
    enable(hwnd);
  }
}

}  // namespace

Win32Window::Win32Window(FrameAttributeWriter& frame_writer) : frame_writer_(frame_writer) {
  ++live_window_count;
}

Win32Window::~Win32Window() {
  --live_window_count;
  DestroyNative();
}

int Win32Window::LiveWindowCount() { return live_window_count; }

bool Win32Window::CreateNativeWindow(const std::wstring& title, const Point& origin,
                                     const Size& size) {
  DestroyNative();
  RegisterWindowClassOnce();

  HMONITOR monitor = MonitorFromPoint(POINT{origin.x, origin.y}, MONITOR_DEFAULTTONEAREST);
  const double scale = FlutterDesktopGetDpiForMonitor(monitor) / kBaseDpi;

  HWND window =
      CreateWindowExW(0, kMainWindowClassName, title.c_str(), WS_OVERLAPPEDWINDOW,
                      Scale(origin.x, scale), Scale(origin.y, scale), Scale(size.width, scale),
                      Scale(size.height, scale), nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (window == nullptr) {
    return false;
  }
  ApplyFrameTheme(true);
  return OnWindowCreated();
}

bool Win32Window::ShowNormal() { return ShowWindow(window_handle_, SW_SHOWNORMAL) != FALSE; }

void Win32Window::DestroyNative() {
  OnWindowDestroyed();
  if (window_handle_ != nullptr) {
    DestroyWindow(window_handle_);
    window_handle_ = nullptr;
  }
  if (live_window_count == 0) {
    UnregisterWindowClass();
  }
}

void Win32Window::SetQuitWhenDestroyed(bool quit_when_destroyed) {
  quit_when_destroyed_ = quit_when_destroyed;
}

void Win32Window::AttachContent(HWND content) {
  child_content_ = content;
  SetParent(content, window_handle_);
  RECT frame = ClientArea();
  MoveWindow(content, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top,
             TRUE);
  SetFocus(content);
}

RECT Win32Window::ClientArea() const {
  RECT frame = {};
  GetClientRect(window_handle_, &frame);
  return frame;
}

void Win32Window::ApplyFrameTheme(bool dark) {
  dark_frame_ = dark;
  if (window_handle_ == nullptr) {
    return;
  }
  PaintFrameTheme(window_handle_, dark, frame_writer_);
}

LRESULT CALLBACK Win32Window::WindowProcedure(HWND hwnd, UINT message, WPARAM wparam,
                                              LPARAM lparam) noexcept {
  try {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      auto* window = static_cast<Win32Window*>(create->lpCreateParams);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
      EnableNonClientScaling(hwnd);
      window->window_handle_ = hwnd;
      return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    auto* window = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window != nullptr) {
      return window->HandleWindowMessage(hwnd, message, wparam, lparam);
    }
  } catch (...) {
    // Nothing may unwind into the system's dispatcher; the message gets the
    // default handling instead.
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT Win32Window::HandleWindowMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      window_handle_ = nullptr;
      DestroyNative();
      if (quit_when_destroyed_) {
        PostQuitMessage(0);
      }
      return 0;

    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }

    case WM_SIZE: {
      if (child_content_ != nullptr) {
        RECT frame = ClientArea();
        MoveWindow(child_content_, frame.left, frame.top, frame.right - frame.left,
                   frame.bottom - frame.top, TRUE);
      }
      return 0;
    }

    case WM_ACTIVATE:
      if (child_content_ != nullptr) {
        SetFocus(child_content_);
      }
      return 0;

    case WM_DWMCOLORIZATIONCOLORCHANGED:
      if (window_handle_ != nullptr) {
        ApplyFrameTheme(dark_frame_);
      }
      return 0;
  }
  return DefWindowProcW(window_handle_, message, wparam, lparam);
}

bool Win32Window::OnWindowCreated() { return true; }

void Win32Window::OnWindowDestroyed() {}
