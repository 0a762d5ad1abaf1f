// Another process's window for the push-to-talk end-to-end tests: it shows
// whether keys still reach the focused application, and injects keys the way
// other programs do.
//
//   key_window.exe               shows the window "Velmo key window" and
//                                prints "ready", then "down VK SCAN" or
//                                "up VK SCAN" (hex) for every key message it
//                                receives and "move X Y" (client pixels) for
//                                every mouse move, until it is closed
//   key_window.exe send VK SCAN  presses and releases the key with SendInput
//                                (hex codes), prints "sent" and exits
//
// Exits 0 on success, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr int kFailure = 1;
constexpr wchar_t kClassName[] = L"VelmoKeyWindow";
constexpr wchar_t kTitle[] = L"Velmo key window";
constexpr int kLeft = 200;
constexpr int kTop = 200;
constexpr int kWidth = 320;
constexpr int kHeight = 200;
constexpr int kHexBase = 16;
constexpr UINT kKeyCount = 2;

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
      std::printf("%s %02X %02X\n", down ? "down" : "up", static_cast<unsigned>(wparam),
                  static_cast<unsigned>((lparam >> 16) & 0xFF));
      std::fflush(stdout);
      return 0;
    }
    case WM_MOUSEMOVE:
      std::printf("move %d %d\n", static_cast<int>(static_cast<short>(LOWORD(lparam))),
                  static_cast<int>(static_cast<short>(HIWORD(lparam))));
      std::fflush(stdout);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

int ShowKeyWindow() {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kClassName;
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  if (RegisterClassW(&window_class) == 0) {
    return kFailure;
  }
  HWND window =
      CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE, kLeft, kTop, kWidth,
                      kHeight, nullptr, nullptr, window_class.hInstance, nullptr);
  if (window == nullptr) {
    return kFailure;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

int SendKey(const wchar_t* key_text, const wchar_t* scan_text) {
  INPUT inputs[kKeyCount]{};
  for (UINT i = 0; i < kKeyCount; ++i) {
    inputs[i].type = INPUT_KEYBOARD;
    inputs[i].ki.wVk = static_cast<WORD>(std::wcstoul(key_text, nullptr, kHexBase));
    inputs[i].ki.wScan = static_cast<WORD>(std::wcstoul(scan_text, nullptr, kHexBase));
  }
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  if (SendInput(kKeyCount, inputs, sizeof(INPUT)) != kKeyCount) {
    return kFailure;
  }
  std::printf("sent\n");
  std::fflush(stdout);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 1) {
    return ShowKeyWindow();
  }
  if (argc == 4 && std::wstring(argv[1]) == L"send") {
    return SendKey(argv[2], argv[3]);
  }
  std::fprintf(stderr, "usage: key_window [send VK SCAN]\n");
  return kFailure;
}
