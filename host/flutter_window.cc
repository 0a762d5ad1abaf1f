#include "host/flutter_window.h"

#include <optional>
#include <utility>

#include "activity/activity_channel.h"
#include "audio/ai_denoise_channel.h"
#include "audio/mic_gain_channel.h"
#include "audio/sidetone_engine.h"
#include "audio/sidetone_engine_control.h"
#include "channels/engine/flutter_engine.h"
#include "channels/engine/flutter_view.h"
#include "channels/standard_method_codec.h"
#include "desktop_shell/window_style_handler.h"
#include "diagnostics/app_log.h"
#include "host/plugin_registrant.h"
#include "ptt/global_keyboard_hook.h"

namespace {

const flutter::MethodCodec* SharedCodec() {
  return &flutter::StandardMethodCodec::GetInstance(nullptr);
}

}  // namespace

FlutterWindow::FlutterWindow(const flutter::EngineProject& project) : project_(project) {}

FlutterWindow::~FlutterWindow() {
  // The native window outlives these objects on this path; it is destroyed by
  // the base afterwards, so OnWindowDestroyed does not release them. The
  // voice overlay goes first, then the desktop shell; the tray icon leaves
  // with the desktop shell.
  voice_overlay_.reset();
  desktop_shell_.reset();
  activity_channel_.reset();
  mic_gain_channel_.reset();
  ReleaseSidetoneChannel();
  ai_denoise_channel_.reset();
  window_style_channel_.reset();
  keyboard_hook_.reset();
  view_controller_.reset();
}

bool FlutterWindow::OnWindowCreated() {
  // No earlier feature object is left to replace: CreateNativeWindow runs
  // OnWindowDestroyed before it makes a window, so every field is empty and
  // an old object can never unregister the channel names a new one takes.
  if (!Win32Window::OnWindowCreated()) {
    return false;
  }
  const RECT frame = ClientArea();
  view_controller_ = std::make_unique<flutter::FlutterViewController>(
      frame.right - frame.left, frame.bottom - frame.top, project_);
  flutter::FlutterEngine* engine = view_controller_->engine();
  if (engine == nullptr || view_controller_->view() == nullptr) {
    AppendLog("view_controller_failed");
    return false;
  }
  RegisterPlugins(*engine);
  CreateChannelFeatures(*engine->messenger());
  AttachContent(view_controller_->view()->NativeWindow());
  CreateWindowFeatures(*engine->messenger());

  engine->SetNextFrameCallback([this]() {
    // The Flutter side may have sent the window to the tray before it drew.
    if (!desktop_shell_ || !desktop_shell_->hidden_to_tray()) {
      ShowNormal();
    }
  });
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
  keyboard_hook_ = CreateGlobalKeyboardHook(&messenger);
  ai_denoise_channel_ = CreateAiDenoiseChannel(&messenger);
  sidetone_channel_ = CreateSidetoneChannel(&messenger);
  mic_gain_channel_ = CreateMicGainChannel(&messenger);
  activity_channel_ = CreateActivityChannel(&messenger);
}

void FlutterWindow::CreateWindowFeatures(flutter::BinaryMessenger& messenger) {
  // The tray icon is there from now on, before the window is first shown.
  desktop_shell_ = std::make_unique<DesktopShell>(NativeHandle(), &messenger);
  voice_overlay_ = std::make_unique<VoiceOverlay>(NativeHandle(), &messenger);
}

void FlutterWindow::ReleaseFeatures() {
  // The voice overlay goes first, then the desktop shell (removing the tray
  // icon); the keyboard hook goes last.
  voice_overlay_.reset();
  desktop_shell_.reset();
  window_style_channel_.reset();
  ai_denoise_channel_.reset();
  ReleaseSidetoneChannel();
  mic_gain_channel_.reset();
  activity_channel_.reset();
  // Before the view controller: a key held until now gets its "keyUp" out
  // through the engine's messenger.
  keyboard_hook_.reset();
}

void FlutterWindow::ReleaseSidetoneChannel() {
  // No monitor may outlive the window that offered it: the worker is ended
  // before the channel that could start another one goes. Teardown alone
  // waits for it, briefly; one stuck in a driver call is let go.
  if (sidetone_channel_) {
    SidetoneEngine::Instance().Shutdown();
  }
  sidetone_channel_.reset();
}

void FlutterWindow::EndSession() {
  AppendLog("session_ending");
  // The order of the teardown on destroy: the tray icon goes with the desktop
  // shell, the sidetone engine stops, the keyboard hook goes last.
  ReleaseFeatures();
  view_controller_.reset();
  // The process may be ended without its exit handlers: lines the workers
  // queued are written now, before the last one.
  DrainLogQueue();
  AppendLog("session_ended");
  // Where the system leaves the process running, it ends the usual way.
  PostQuitMessage(0);
}

LRESULT FlutterWindow::HandleWindowMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_QUERYENDSESSION:
      // Nothing here needs to hold the session up.
      return TRUE;
    case WM_ENDSESSION:
      // FALSE: the end was called off and everything stays.
      if (wparam != FALSE) {
        EndSession();
      }
      return 0;
    default:
      break;
  }
  // Close requests, tray events, menu commands and shell restarts are the
  // desktop shell's before anyone else sees them.
  if (desktop_shell_) {
    LRESULT result = 0;
    if (desktop_shell_->FilterWindowMessage(message, wparam, lparam, &result)) {
      return result;
    }
  }
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
