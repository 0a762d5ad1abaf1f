#include "testing/echo_host/echo_window.h"

#include <vector>

#include "channels/encodable_value.h"
#include "channels/method_result.h"

namespace {

constexpr wchar_t kWindowClass[] = L"VelmoEchoHostWindow";
constexpr wchar_t kWindowTitle[] = L"Velmo echo host";
constexpr int kLeft = 40;
constexpr int kTop = 40;
constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr char kPluginNames[][16] = {"EchoPluginA", "EchoPluginB"};

}  // namespace

EchoWindow::~EchoWindow() { Destroy(); }

bool EchoWindow::Create(const flutter::EngineProject& project) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kWindowClass;
  RegisterClassExW(&window_class);
  window_ = CreateWindowExW(0, kWindowClass, kWindowTitle, WS_OVERLAPPEDWINDOW, kLeft, kTop, kWidth,
                            kHeight, nullptr, nullptr, window_class.hInstance, this);
  if (window_ == nullptr) {
    return false;
  }
  RECT client{};
  GetClientRect(window_, &client);
  controller_ =
      std::make_unique<flutter::FlutterViewController>(client.right, client.bottom, project);
  if (controller_->engine() == nullptr || controller_->view() == nullptr) {
    return false;
  }
  for (const char* name : kPluginNames) {
    controller_->engine()->RegistrarFor(name);
  }
  channels_ = std::make_unique<EchoChannels>(controller_->engine()->messenger(),
                                             [](int exit_code) { PostQuitMessage(exit_code); });
  HWND view = controller_->view()->NativeWindow();
  SetParent(view, window_);
  MoveWindow(view, 0, 0, client.right, client.bottom, TRUE);
  controller_->engine()->SetNextFrameCallback(
      [window = window_] { ShowWindow(window, SW_SHOWNORMAL); });
  controller_->ForceRedraw();
  return true;
}

void EchoWindow::Destroy() {
  std::vector<std::unique_ptr<flutter::MethodResult>> kept;
  if (channels_) {
    kept = channels_->TakeKeptResults();
  }
  channels_.reset();
  controller_.reset();
  // The engine is gone: these answers must vanish without a trace.
  for (auto& result : kept) {
    result->Success(flutter::EncodableValue(true));
  }
  if (window_ != nullptr) {
    DestroyWindow(window_);
    window_ = nullptr;
  }
}

LRESULT CALLBACK EchoWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<EchoWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr && self->window_ == window) {
    return self->HandleMessage(window, message, wparam, lparam);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT EchoWindow::HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (controller_) {
    if (auto result = controller_->HandleTopLevelWindowProc(window, message, wparam, lparam)) {
      return *result;
    }
  }
  switch (message) {
    case WM_FONTCHANGE:
      if (controller_) {
        controller_->engine()->ReloadSystemFonts();
      }
      break;
    case WM_SIZE:
      if (controller_ && controller_->view() != nullptr) {
        MoveWindow(controller_->view()->NativeWindow(), 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
      }
      return 0;
    case WM_CLOSE:
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      window_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}
