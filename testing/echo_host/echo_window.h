#ifndef VELMO_TESTING_ECHO_HOST_ECHO_WINDOW_H_
#define VELMO_TESTING_ECHO_HOST_ECHO_WINDOW_H_

#include <windows.h>

#include <memory>

#include "channels/engine/engine_project.h"
#include "channels/engine/flutter_view_controller.h"
#include "testing/echo_host/echo_channels.h"

// A plain top-level window holding a Flutter view and the echo channels. It
// stays hidden until the engine reports its first frame.
class EchoWindow {
 public:
  EchoWindow() = default;
  ~EchoWindow();
  EchoWindow(const EchoWindow&) = delete;
  EchoWindow& operator=(const EchoWindow&) = delete;

  // False when the window or the view cannot be made.
  bool Create(const flutter::EngineProject& project);
  // Channels first, then the controller (the engine goes with it), then the
  // window; results kept for later are answered once the engine is gone.
  void Destroy();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  HWND window_ = nullptr;
  std::unique_ptr<flutter::FlutterViewController> controller_;
  std::unique_ptr<EchoChannels> channels_;
};

#endif  // VELMO_TESTING_ECHO_HOST_ECHO_WINDOW_H_
