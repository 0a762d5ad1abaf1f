#include <windows.h>

#include <objbase.h>

#include <memory>

#include "diagnostics/crash_capture.h"
#include "host/command_line.h"
#include "host/console.h"
#include "host/flutter_window.h"
#include "host/project_folder.h"
#include "host/single_instance.h"
#include "host/window_identity.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;

constexpr wchar_t kProjectFolder[] = L"data";
constexpr Win32Window::Point kWindowOrigin = {10, 10};
constexpr Win32Window::Size kWindowSize = {1280, 720};

int RunHost() {
  SingleInstanceMutex instance;
  switch (instance.state()) {
    case SingleInstanceMutex::State::kFailed:
      return kExitFailure;
    case SingleInstanceMutex::State::kAlreadyRunning:
      // Whether or not its window exists yet, the running instance stays the
      // only one.
      RestoreRunningInstance();
      instance.Release();
      return kExitOk;
    case SingleInstanceMutex::State::kOwned:
      break;
  }

  AttachConsoleIfNeeded();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  flutter::EngineProject project = ProjectFromFolder(kProjectFolder);
  project.dart_entrypoint_arguments = EntryPointArguments(GetCommandLineW());

  auto window = std::make_unique<FlutterWindow>(project);
  if (!window->CreateNativeWindow(kMainWindowTitle, kWindowOrigin, kWindowSize)) {
    instance.Release();
    window.reset();
    return kExitFailure;
  }
  // Closing the window hides it to the tray; only a posted quit ends the
  // process.
  window->SetQuitWhenDestroyed(false);

  MSG message;
  // A failing GetMessageW (-1) ends the loop rather than spinning on it.
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }

  CoUninitialize();
  // From here a new instance may start while this one tears down.
  instance.Release();
  window.reset();
  return kExitOk;
}

}  // namespace

int APIENTRY wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  InstallCrashCapture();
  try {
    return RunHost();
  } catch (...) {
    return kExitFailure;
  }
}
