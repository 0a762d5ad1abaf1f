// Does to another process's windows and named objects what a user or the
// system would, for the end-to-end tests:
//
//   window_tool.exe to-tray <hwnd>      hide it the way the tray does: no
//                                       taskbar button (tool window), hidden
//   window_tool.exe minimize <hwnd>
//   window_tool.exe set-title <hwnd> <title>
//                                       retitle it, as the Flutter side may
//   window_tool.exe hold-mutex <name> <milliseconds>
//                                       own a named mutex for a while, as an
//                                       instance that has no window yet
//   window_tool.exe drop-tray-icon <hwnd> <id>
//                                       take a window's tray icon away, as a
//                                       restarting shell does
//   window_tool.exe message-id <name>   print the id of a registered window
//                                       message (e.g. "TaskbarCreated")
//   window_tool.exe end-session <hwnd>  end the session for its process as the
//                                       system does at logoff: ask, announce
//                                       the end, then end the process (exit
//                                       code 69) without its shutdown
//
// Prints "ok" (message-id: the id) and exits 0 on success, 1 otherwise.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr int kFailure = 1;
// What the process ended by end-session exits with: none of its own codes.
constexpr UINT kEndedWithTheSession = 69;
constexpr UINT kSessionMessageTimeoutMs = 5000;

HWND WindowFromText(const wchar_t* text) {
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(std::wcstoull(text, nullptr, 10)));
}

bool ToTray(HWND window) {
  LONG_PTR ex_style = GetWindowLongPtrW(window, GWL_EXSTYLE);
  ex_style = (ex_style | WS_EX_TOOLWINDOW) & ~static_cast<LONG_PTR>(WS_EX_APPWINDOW);
  SetLastError(0);
  if (SetWindowLongPtrW(window, GWL_EXSTYLE, ex_style) == 0 && GetLastError() != 0) {
    return false;
  }
  ShowWindow(window, SW_HIDE);
  return !IsWindowVisible(window);
}

bool HoldMutex(const wchar_t* name, DWORD milliseconds) {
  HANDLE mutex = CreateMutexW(nullptr, TRUE, name);
  if (mutex == nullptr) {
    return false;
  }
  const bool owned = GetLastError() != ERROR_ALREADY_EXISTS;
  if (owned) {
    std::printf("holding\n");
    std::fflush(stdout);
    Sleep(milliseconds);
    ReleaseMutex(mutex);
  }
  CloseHandle(mutex);
  return owned;
}

bool DropTrayIcon(HWND window, UINT id) {
  NOTIFYICONDATAW icon{};
  icon.cbSize = sizeof(icon);
  icon.hWnd = window;
  icon.uID = id;
  return Shell_NotifyIconW(NIM_DELETE, &icon) != FALSE;
}

bool EndSession(HWND window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process_id);
  if (process == nullptr) {
    return false;
  }
  DWORD_PTR may_end = FALSE;
  const bool asked = SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                         SMTO_ABORTIFHUNG, kSessionMessageTimeoutMs, &may_end) != 0;
  const bool ended = asked && may_end != FALSE &&
                     SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF,
                                         SMTO_ABORTIFHUNG, kSessionMessageTimeoutMs, nullptr) != 0;
  // The session ends whatever the answers were.
  TerminateProcess(process, kEndedWithTheSession);
  WaitForSingleObject(process, kSessionMessageTimeoutMs);
  CloseHandle(process);
  return ended;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: window_tool to-tray|minimize <hwnd> | set-title <hwnd> <title> |"
                 " hold-mutex <name> <ms> |"
                 " drop-tray-icon <hwnd> <id> | message-id <name> | end-session <hwnd>\n");
    return kFailure;
  }
  const std::wstring command = argv[1];
  bool done = false;
  if (command == L"to-tray") {
    done = ToTray(WindowFromText(argv[2]));
  } else if (command == L"minimize") {
    HWND window = WindowFromText(argv[2]);
    ShowWindow(window, SW_MINIMIZE);
    done = IsIconic(window) != FALSE;
  } else if (command == L"set-title" && argc == 4) {
    done = SetWindowTextW(WindowFromText(argv[2]), argv[3]) != FALSE;
  } else if (command == L"message-id") {
    const UINT id = RegisterWindowMessageW(argv[2]);
    std::printf("%u\n", id);
    return id != 0 ? 0 : kFailure;
  } else if (command == L"end-session") {
    done = EndSession(WindowFromText(argv[2]));
  } else if (command == L"drop-tray-icon" && argc == 4) {
    done = DropTrayIcon(WindowFromText(argv[2]),
                        static_cast<UINT>(std::wcstoul(argv[3], nullptr, 10)));
  } else if (command == L"hold-mutex" && argc == 4) {
    done = HoldMutex(argv[2], static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
  }
  std::printf(done ? "ok\n" : "failed\n");
  return done ? 0 : kFailure;
}
