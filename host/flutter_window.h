#ifndef VELMO_HOST_FLUTTER_WINDOW_H_
#define VELMO_HOST_FLUTTER_WINDOW_H_

#include <windows.h>

#include <memory>

#include "channels/engine/engine_project.h"
#include "channels/engine/flutter_view_controller.h"
#include "channels/method_channel.h"
#include "desktop_shell/desktop_shell.h"
#include "host/win32_window.h"
#include "overlay/voice_overlay.h"
#include "ptt/global_keyboard_hook.h"

// The main window: hosts the Flutter view, registers the plug-ins and owns
// every native feature object, each in one field. The window stays hidden
// until the engine has drawn its first frame.
class FlutterWindow : public Win32Window {
 public:
  explicit FlutterWindow(const flutter::EngineProject& project);
  ~FlutterWindow() override;

 protected:
  LRESULT HandleWindowMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;
  bool OnWindowCreated() override;
  void OnWindowDestroyed() override;

 private:
  void RegisterPlugins(flutter::FlutterEngine& engine);

  // Created after the plug-ins, before the view is attached.
  void CreateChannelFeatures(flutter::BinaryMessenger& messenger);
  // Created once the view is attached.
  void CreateWindowFeatures(flutter::BinaryMessenger& messenger);
  // Releases the feature objects in the order of the teardown on destroy.
  void ReleaseFeatures();
  // Stops the sidetone engine (its worker waited for, briefly) if the channel exists, then
  // releases the channel; both teardown paths go through here.
  void ReleaseSidetoneChannel();
  // The session ends (logoff, shutdown): the system ends the process once the
  // message is answered, without the shutdown after the message loop, so the
  // teardown runs now.
  void EndSession();

  flutter::EngineProject project_;
  std::unique_ptr<flutter::FlutterViewController> view_controller_;

  // Feature fields. Destruction releases them in reverse declaration order;
  // OnWindowCreated creates them in its own order (the window style channel
  // before the keyboard hook) and OnWindowDestroyed releases them in the
  // order ReleaseFeatures gives. Each is empty whenever no native window
  // exists.
  std::unique_ptr<GlobalKeyboardHook> keyboard_hook_;
  std::unique_ptr<flutter::MethodChannel> window_style_channel_;
  std::unique_ptr<flutter::MethodChannel> ai_denoise_channel_;
  std::unique_ptr<flutter::MethodChannel> sidetone_channel_;
  std::unique_ptr<flutter::MethodChannel> mic_gain_channel_;
  std::unique_ptr<flutter::MethodChannel> activity_channel_;
  std::unique_ptr<DesktopShell> desktop_shell_;
  std::unique_ptr<VoiceOverlay> voice_overlay_;
};

#endif  // VELMO_HOST_FLUTTER_WINDOW_H_
