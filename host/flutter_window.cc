#include "host/flutter_window.h"

#include <utility>

#include "audio/mic_gain_channel.h"
#include "channels/engine/flutter_engine.h"
#include "channels/engine/flutter_view.h"
#include "channels/standard_method_codec.h"
#include "desktop_shell/window_style_handler.h"
#include "host/plugin_registrant.h"

namespace {

const flutter::MethodCodec* SharedCodec() {
  return &flutter::StandardMethodCodec::GetInstance(nullptr);
}

}  // namespace

FlutterWindow::FlutterWindow(const flutter::EngineProject& project) : project_(project) {}

FlutterWindow::~FlutterWindow() {
  // The native window outlives these objects on this path; it is destroyed by
  // the base afterwards, so OnWindowDestroyed does not release them. The
  // voice overlay and the desktop shell go first once they join.
  activity_channel_.reset();
  mic_gain_channel_.reset();
  // The sidetone engine is stopped (its worker joined) before its channel
  // goes, on both teardown paths, once sidetone joins.
  sidetone_channel_.reset();
  ai_denoise_channel_.reset();
  window_style_channel_.reset();
  view_controller_.reset();
}

bool FlutterWindow::OnWindowCreated() {
  if (!Win32Window::OnWindowCreated()) {
    return false;
  }
  const RECT frame = ClientArea();
  view_controller_ = std::make_unique<flutter::FlutterViewController>(
      frame.right - frame.left, frame.bottom - frame.top, project_);
  flutter::FlutterEngine* engine = view_controller_->engine();
  if (engine == nullptr || view_controller_->view() == nullptr) {
    return false;
  }
  RegisterPlugins(*engine);
  CreateChannelFeatures(*engine->messenger());
  AttachContent(view_controller_->view()->NativeWindow());
  CreateWindowFeatures(*engine->messenger());

  engine->SetNextFrameCallback([this]() { ShowNormal(); });
  view_controller_->ForceRedraw();
  return true;
}

void FlutterWindow::RegisterPlugins(flutter::FlutterEngine& engine) {
  RegisterClientPlugins(engine);
}

void FlutterWindow::CreateChannelFeatures(flutter::BinaryMessenger& messenger) {
  window_style_channel_ =
      std::make_unique<flutter::MethodChannel>(&messenger, kWindowStyleChannelName, SharedCodec());
  window_style_channel_->SetMethodCallHandler(
      [this](const flutter::MethodCall& call, std::unique_ptr<flutter::MethodResult> result) {
        HandleWindowStyleCall(call, std::move(result),
                              [this](bool dark) { ApplyFrameTheme(dark); });
      });
  // The push-to-talk hook with its two channels, then "parlora/ai_denoise"
  // and "parlora/sidetone" are created here, in that order, when they join.

  mic_gain_channel_ = CreateMicGainChannel(&messenger);
  // "parlora/activity" follows here when it joins.
}

void FlutterWindow::CreateWindowFeatures(flutter::BinaryMessenger&) {
  // The desktop shell (with the main window and the messenger; it adds the
  // tray icon) and then the voice overlay are created here when they join.
}

void FlutterWindow::ReleaseFeatures() {
  // The voice overlay, then the desktop shell (removing the tray icon), go
  // first once they join; the keyboard hook goes last.
  window_style_channel_.reset();
  ai_denoise_channel_.reset();
  sidetone_channel_.reset();
  mic_gain_channel_.reset();
  activity_channel_.reset();
}

LRESULT FlutterWindow::HandleWindowMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  // The desktop shell's filter takes the first look here once it joins.
  if (view_controller_) {
    if (std::optional<LRESULT> result =
            view_controller_->HandleTopLevelWindowProc(hwnd, message, wparam, lparam)) {
      return *result;
    }
  }
  if (message == WM_FONTCHANGE && view_controller_ && view_controller_->engine() != nullptr) {
    view_controller_->engine()->ReloadSystemFonts();
  }
  return Win32Window::HandleWindowMessage(hwnd, message, wparam, lparam);
}

void FlutterWindow::OnWindowDestroyed() {
  ReleaseFeatures();
  view_controller_.reset();
  Win32Window::OnWindowDestroyed();
}
