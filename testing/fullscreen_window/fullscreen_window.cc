// A window of another process filling the primary monitor, as a game in full
// screen would, for the voice overlay's end-to-end tests:
//
//   fullscreen_window.exe borderless [class [RRGGBB]]
//                              a WS_POPUP window covering the monitor (class
//                              defaults to VelmoFullScreenTest)
//   fullscreen_window.exe maximized [class [RRGGBB]]
//                              an ordinary captioned window, maximised
//   fullscreen_window.exe take <hwnd>         turns another window into a
//                                             borderless one covering the
//                                             monitor and brings it to front
//
// The window is painted white unless a colour is given (white lets
// half-transparent pixels above it be measured), takes the foreground, prints "ready <hwnd>" and
// then "click <x> <y>" (screen coordinates) for every left click it receives, until it is killed.
// "take" prints "ok" and exits.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kDefaultClass[] = L"VelmoFullScreenTest";
constexpr int kFailure = 1;

HBRUSH background = nullptr;

RECT PrimaryMonitor() {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
  return info.rcMonitor;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_LBUTTONDOWN: {
      POINT point{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
      ClientToScreen(window, &point);
      std::printf("click %ld %ld\n", point.x, point.y);
      std::fflush(stdout);
      return 0;
    }
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(window, &client);
      FillRect(reinterpret_cast<HDC>(wparam), &client, background);
      return 1;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

int Take(HWND window) {
  const RECT monitor = PrimaryMonitor();
  SetWindowLongW(window, GWL_STYLE, static_cast<LONG>(WS_POPUP | WS_VISIBLE));
  SetWindowPos(window, HWND_TOP, monitor.left, monitor.top, monitor.right - monitor.left,
               monitor.bottom - monitor.top, SWP_FRAMECHANGED | SWP_SHOWWINDOW);
  SetForegroundWindow(window);
  std::printf("ok\n");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: fullscreen_window borderless|maximized [class [RRGGBB]] | take <hwnd>\n");
    return kFailure;
  }
  const std::wstring mode = argv[1];
  if (mode == L"take" && argc == 3) {
    return Take(
        reinterpret_cast<HWND>(static_cast<uintptr_t>(std::wcstoull(argv[2], nullptr, 10))));
  }
  const bool borderless = mode == L"borderless";
  if (!borderless && mode != L"maximized") {
    return kFailure;
  }
  const wchar_t* class_name = argc >= 3 ? argv[2] : kDefaultClass;
  if (argc >= 4) {
    const unsigned long rgb = std::wcstoul(argv[3], nullptr, 16);
    background = CreateSolidBrush(RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
  } else {
    background = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  }

  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = class_name;
  if (RegisterClassExW(&window_class) == 0) {
    return kFailure;
  }
  const RECT monitor = PrimaryMonitor();
  HWND window =
      borderless
          ? CreateWindowExW(0, class_name, L"Full screen test", WS_POPUP, monitor.left, monitor.top,
                            monitor.right - monitor.left, monitor.bottom - monitor.top, nullptr,
                            nullptr, window_class.hInstance, nullptr)
          : CreateWindowExW(0, class_name, L"Full screen test", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, 800, 600, nullptr, nullptr, window_class.hInstance,
                            nullptr);
  if (window == nullptr) {
    return kFailure;
  }
  ShowWindow(window, borderless ? SW_SHOW : SW_MAXIMIZE);
  UpdateWindow(window);
  SetForegroundWindow(window);
  std::printf("ready %llu\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
  std::fflush(stdout);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
