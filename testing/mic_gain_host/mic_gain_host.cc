// A window with a Flutter view, the WebRTC plug-in and the "parlora/mic_gain"
// channel only, so the end-to-end tests drive the microphone gain without the
// rest of the host.
// The engine project is the "data" folder beside this program; the command
// line goes to the entry point, as in the host.
#include <windows.h>

#include <array>
#include <memory>
#include <string>

#include "audio/mic_gain_channel.h"
#include "channels/engine/engine_api.h"
#include "channels/engine/flutter_engine.h"
#include "channels/engine/flutter_view.h"
#include "channels/engine/flutter_view_controller.h"
#include "channels/method_channel.h"
#include "host/command_line.h"

extern "C" void FlutterWebRTCPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);

namespace {

constexpr char kWebRtcRegistrarName[] = "FlutterWebRTCPlugin";
constexpr wchar_t kWindowClassName[] = L"VelmoMicGainTestHost";
constexpr wchar_t kWindowTitle[] = L"Velmo mic gain test host";
constexpr wchar_t kProjectFolderName[] = L"data";
constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 480;
constexpr int kPathBufferUnits = 1024;
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;

std::wstring ProgramFolder() {
  std::array<wchar_t, kPathBufferUnits> buffer{};
  const DWORD length =
      GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) {
    return L".";
  }
  std::wstring path(buffer.data(), length);
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? L"." : path.substr(0, separator);
}

flutter::EngineProject ProjectBesideProgram() {
  const std::wstring folder = ProgramFolder() + L"\\" + kProjectFolderName;
  flutter::EngineProject project;
  project.assets_path = folder + L"\\flutter_assets";
  project.icu_data_path = folder + L"\\icudtl.dat";
  project.aot_library_path = folder + L"\\app.so";
  project.dart_entrypoint_arguments = EntryPointArguments(GetCommandLineW());
  return project;
}

// The top-level window: owns its native window, the view controller and the
// channel, released in reverse order of creation.
class TestHostWindow {
 public:
  TestHostWindow() = default;
  TestHostWindow(const TestHostWindow&) = delete;
  TestHostWindow& operator=(const TestHostWindow&) = delete;
  ~TestHostWindow() {
    if (hwnd_ != nullptr) {
      DestroyWindow(hwnd_);
    }
  }

  bool Create(HINSTANCE instance) {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = WindowProc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = kWindowClassName;
    if (RegisterClassExW(&window_class) == 0) {
      return false;
    }
    hwnd_ = CreateWindowExW(0, kWindowClassName, kWindowTitle, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                            CW_USEDEFAULT, CW_USEDEFAULT, kWindowWidth, kWindowHeight, nullptr,
                            nullptr, instance, this);
    return hwnd_ != nullptr && controller_ != nullptr;
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    try {
      if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      }
      auto* self = reinterpret_cast<TestHostWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      if (self != nullptr) {
        return self->HandleMessage(hwnd, message, wparam, lparam);
      }
    } catch (...) {
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }

  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (controller_ != nullptr) {
      if (auto result = controller_->HandleTopLevelWindowProc(hwnd, message, wparam, lparam)) {
        return *result;
      }
    }
    switch (message) {
      case WM_CREATE:
        return OnCreate(hwnd) ? 0 : -1;
      case WM_SIZE:
        FitView(hwnd);
        return 0;
      case WM_DESTROY:
        channel_.reset();
        controller_.reset();
        hwnd_ = nullptr;
        PostQuitMessage(kExitOk);
        return 0;
      default:
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
  }

  bool OnCreate(HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    controller_ = std::make_unique<flutter::FlutterViewController>(
        client.right - client.left, client.bottom - client.top, ProjectBesideProgram());
    if (controller_->engine() == nullptr || controller_->view() == nullptr) {
      controller_.reset();
      return false;
    }
    // Registered as the host does, before the channels.
    FlutterWebRTCPluginRegisterWithRegistrar(
        controller_->engine()->RegistrarFor(kWebRtcRegistrarName));
    channel_ = CreateMicGainChannel(controller_->engine()->messenger());
    HWND view = controller_->view()->NativeWindow();
    SetParent(view, hwnd);
    FitView(hwnd);
    SetFocus(view);
    return true;
  }

  void FitView(HWND hwnd) {
    if (controller_ == nullptr || controller_->view() == nullptr) {
      return;
    }
    RECT client{};
    GetClientRect(hwnd, &client);
    MoveWindow(controller_->view()->NativeWindow(), client.left, client.top,
               client.right - client.left, client.bottom - client.top, TRUE);
  }

  HWND hwnd_ = nullptr;
  std::unique_ptr<flutter::FlutterViewController> controller_;
  std::unique_ptr<flutter::MethodChannel> channel_;
};

int RunTestHost(HINSTANCE instance) {
  TestHostWindow window;
  if (!window.Create(instance)) {
    return kExitFailure;
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return kExitOk;
}

}  // namespace

int APIENTRY wWinMain(HINSTANCE instance, HINSTANCE, wchar_t*, int) {
  try {
    return RunTestHost(instance);
  } catch (...) {
    return kExitFailure;
  }
}
