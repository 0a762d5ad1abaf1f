// A host that drives the engine library through its C functions alone, so the
// substitute engine can be tested without the host's wrappers. Channels:
//   probe/echo     answers with the bytes it got
//   probe/later    answers the same from another thread
//   probe/twice    answers twice ("first", "second")
//   probe/never    never answers
//   probe/thread   answers "main" or "other" after the thread it runs on
//   probe/control  commands as ASCII text, answered "ok" (or a value):
//     send   sends "fire" without and "ask" with a reply on probe/out; the
//            reply is reported on probe/reply-seen with "main:" or "other:"
//     unset  removes the probe/echo handler
//     redraw asks for a next-frame callback and forces a redraw
//     fonts, resync, dpi (answers the window's monitor DPI), registrars
//            (answers "same" when one name gives one registrar), quit
//     destroy answers, then destroys the controller inside this callback
//            and quits with exit code 8
// Exit code 7 after "quit"; the last stdout line tells whether the messenger
// still said it was available after the controller was destroyed.
#include <windows.h>

#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "channels/engine/engine_api.h"

namespace {

constexpr wchar_t kWindowClass[] = L"VelmoEngineProbeWindow";
constexpr wchar_t kWindowTitle[] = L"Engine probe";
constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kQuitExitCode = 7;
constexpr int kDestroyedExitCode = 8;
constexpr auto kLaterDelay = std::chrono::milliseconds(50);

struct Probe {
  DWORD main_thread = 0;
  HWND window = nullptr;
  FlutterDesktopEngineRef engine = nullptr;
  FlutterDesktopViewControllerRef controller = nullptr;
  FlutterDesktopMessengerRef messenger = nullptr;
  std::vector<std::thread> workers;
};

Probe probe;

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) {
    return {};
  }
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  utf8.resize(static_cast<size_t>(size) - 1);
  return utf8;
}

void Respond(const FlutterDesktopMessage* message, const std::string& text) {
  FlutterDesktopMessengerSendResponse(probe.messenger, message->response_handle,
                                      reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

void Send(const char* channel, const std::string& text) {
  FlutterDesktopMessengerSend(probe.messenger, channel,
                              reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

bool OnMainThread() { return GetCurrentThreadId() == probe.main_thread; }

void OnEcho(FlutterDesktopMessengerRef, const FlutterDesktopMessage* message, void*) {
  FlutterDesktopMessengerSendResponse(probe.messenger, message->response_handle, message->message,
                                      message->message_size);
}

void OnLater(FlutterDesktopMessengerRef, const FlutterDesktopMessage* message, void*) {
  std::vector<uint8_t> bytes(message->message, message->message + message->message_size);
  const FlutterDesktopMessageResponseHandle* handle = message->response_handle;
  probe.workers.emplace_back([bytes, handle] {
    std::this_thread::sleep_for(kLaterDelay);
    FlutterDesktopMessengerRef messenger = FlutterDesktopMessengerLock(probe.messenger);
    if (FlutterDesktopMessengerIsAvailable(messenger)) {
      FlutterDesktopMessengerSendResponse(messenger, handle, bytes.data(), bytes.size());
    }
    FlutterDesktopMessengerUnlock(messenger);
  });
}

void OnTwice(FlutterDesktopMessengerRef, const FlutterDesktopMessage* message, void*) {
  Respond(message, "first");
  Respond(message, "second");
}

void OnNever(FlutterDesktopMessengerRef, const FlutterDesktopMessage*, void*) {}

void OnThread(FlutterDesktopMessengerRef, const FlutterDesktopMessage* message, void*) {
  Respond(message, OnMainThread() ? "main" : "other");
}

void OnReply(const uint8_t* data, size_t size, void*) {
  std::string seen = OnMainThread() ? "main:" : "other:";
  seen.append(reinterpret_cast<const char*>(data), data == nullptr ? 0 : size);
  Send("probe/reply-seen", seen);
}

void OnNextFrame(void*) { ShowWindow(probe.window, SW_SHOWNORMAL); }

void OnControl(FlutterDesktopMessengerRef, const FlutterDesktopMessage* message, void*) {
  const std::string command(reinterpret_cast<const char*>(message->message), message->message_size);
  std::string answer = "ok";
  if (command == "send") {
    Send("probe/out", "fire");
    const std::string ask = "ask";
    FlutterDesktopMessengerSendWithReply(probe.messenger, "probe/out",
                                         reinterpret_cast<const uint8_t*>(ask.data()), ask.size(),
                                         OnReply, nullptr);
  } else if (command == "unset") {
    FlutterDesktopMessengerSetCallback(probe.messenger, "probe/echo", nullptr, nullptr);
  } else if (command == "redraw") {
    FlutterDesktopEngineSetNextFrameCallback(probe.engine, OnNextFrame, nullptr);
    FlutterDesktopViewControllerForceRedraw(probe.controller);
  } else if (command == "fonts") {
    FlutterDesktopEngineReloadSystemFonts(probe.engine);
  } else if (command == "resync") {
    FlutterDesktopResyncOutputStreams();
  } else if (command == "dpi") {
    answer = std::to_string(
        FlutterDesktopGetDpiForMonitor(MonitorFromWindow(probe.window, MONITOR_DEFAULTTONEAREST)));
  } else if (command == "registrars") {
    auto first = FlutterDesktopEngineGetPluginRegistrar(probe.engine, "ProbePluginA");
    auto other = FlutterDesktopEngineGetPluginRegistrar(probe.engine, "ProbePluginB");
    auto again = FlutterDesktopEngineGetPluginRegistrar(probe.engine, "ProbePluginA");
    answer = first == again && first != other ? "same" : "different";
  } else if (command == "quit") {
    PostQuitMessage(kQuitExitCode);
  } else if (command == "destroy") {
    Respond(message, answer);
    FlutterDesktopViewControllerDestroy(std::exchange(probe.controller, nullptr));
    PostQuitMessage(kDestroyedExitCode);
    return;
  } else {
    answer = "unknown";
  }
  Respond(message, answer);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (probe.controller != nullptr) {
    LRESULT result = 0;
    if (FlutterDesktopViewControllerHandleTopLevelWindowProc(probe.controller, window, message,
                                                             wparam, lparam, &result)) {
      return result;
    }
  }
  if (message == WM_SIZE && probe.controller != nullptr) {
    HWND view = FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(probe.controller));
    MoveWindow(view, 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
    return 0;
  }
  if (message == WM_CLOSE) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

std::vector<std::string> EntryArguments() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> utf8;
  for (int i = 1; i < count; ++i) {
    utf8.push_back(Utf8(arguments[i]));
  }
  LocalFree(arguments);
  return utf8;
}

}  // namespace

int main() {
  probe.main_thread = GetCurrentThreadId();
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kWindowClass;
  RegisterClassExW(&window_class);
  probe.window = CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, 20, 20, kWidth,
                                 kHeight, nullptr, nullptr, window_class.hInstance, nullptr);

  const std::vector<std::string> arguments = EntryArguments();
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  FlutterDesktopEngineProperties properties{};
  properties.assets_path = L"data\\flutter_assets";
  properties.icu_data_path = L"data\\icudtl.dat";
  properties.aot_library_path = L"data\\app.so";
  properties.dart_entrypoint = "";
  properties.dart_entrypoint_argc = static_cast<int>(argv.size());
  properties.dart_entrypoint_argv = argv.empty() ? nullptr : argv.data();
  probe.engine = FlutterDesktopEngineCreate(&properties);
  if (probe.engine == nullptr) {
    std::puts("engine creation failed");
    return 2;
  }
  probe.messenger = FlutterDesktopMessengerAddRef(FlutterDesktopEngineGetMessenger(probe.engine));

  RECT client{};
  GetClientRect(probe.window, &client);
  probe.controller = FlutterDesktopViewControllerCreate(client.right, client.bottom, probe.engine);
  if (probe.controller == nullptr) {
    std::printf("view controller failed; messenger available: %d\n",
                FlutterDesktopMessengerIsAvailable(probe.messenger) ? 1 : 0);
    FlutterDesktopMessengerRelease(probe.messenger);
    return 3;
  }
  HWND view = FlutterDesktopViewGetHWND(FlutterDesktopViewControllerGetView(probe.controller));
  SetParent(view, probe.window);
  MoveWindow(view, 0, 0, client.right, client.bottom, TRUE);

  FlutterDesktopMessengerSetCallback(probe.messenger, "probe/echo", OnEcho, nullptr);
  FlutterDesktopMessengerSetCallback(probe.messenger, "probe/later", OnLater, nullptr);
  FlutterDesktopMessengerSetCallback(probe.messenger, "probe/twice", OnTwice, nullptr);
  FlutterDesktopMessengerSetCallback(probe.messenger, "probe/never", OnNever, nullptr);
  FlutterDesktopMessengerSetCallback(probe.messenger, "probe/thread", OnThread, nullptr);
  FlutterDesktopMessengerSetCallback(probe.messenger, "probe/control", OnControl, nullptr);
  FlutterDesktopEngineSetNextFrameCallback(probe.engine, OnNextFrame, nullptr);
  FlutterDesktopViewControllerForceRedraw(probe.controller);

  MSG message;
  int exit_code = 0;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  exit_code = static_cast<int>(message.wParam);
  for (std::thread& worker : probe.workers) {
    worker.join();
  }
  if (probe.controller != nullptr) {
    FlutterDesktopViewControllerDestroy(probe.controller);
  }
  std::printf("messenger available after destroy: %d\n",
              FlutterDesktopMessengerIsAvailable(probe.messenger) ? 1 : 0);
  FlutterDesktopMessengerRelease(probe.messenger);
  DestroyWindow(probe.window);
  return exit_code;
}
