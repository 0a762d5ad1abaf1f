#include <windows.h>

#include <cstdio>
#include <exception>
#include <memory>

#include "diagnostics/app_log.h"
#include "diagnostics/crash_capture.h"
#include "host/com_apartment.h"
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

// Room for a log line with an exception's text, cut where it does not fit.
constexpr size_t kLogLineCapacity = 512;

int RunHost() {
  SingleInstanceMutex instance;
  switch (instance.state()) {
    case SingleInstanceMutex::State::kFailed: {
      char line[kLogLineCapacity];
      std::snprintf(line, sizeof(line), "single_instance_failed error=%lu",
                    static_cast<unsigned long>(instance.creation_error()));
      AppendLog(line);
      return kExitFailure;
    }
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
  // Left only after the window: the window and the engine release COM objects
  // as they go.
  const ScopedComApartment com_apartment;

  flutter::EngineProject project = ProjectFromFolder(kProjectFolder);
  project.dart_entrypoint_arguments = EntryPointArguments(GetCommandLineW());

  auto window = std::make_unique<FlutterWindow>(project);
  if (!window->CreateNativeWindow(kMainWindowTitle, kWindowOrigin, kWindowSize)) {
    // A GUI process has no one reading its standard error.
    AppendLog("main_window_failed");
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

  // From here a new instance may start while this one tears down.
  instance.Release();
  window.reset();
  return kExitOk;
}

void LogHostException(const char* what) {
  char line[kLogLineCapacity];
  std::snprintf(line, sizeof(line), "host_exception what=%s", what);
  // One line, whatever the text holds.
  for (char* c = line; *c != '\0'; ++c) {
    if (static_cast<unsigned char>(*c) < ' ') {
      *c = ' ';
    }
  }
  AppendLog(line);
}

}  // namespace

int APIENTRY wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  InstallCrashCapture();
  try {
    return RunHost();
  } catch (const std::exception& error) {
    LogHostException(error.what());
  } catch (...) {
    LogHostException("unknown");
  }
  return kExitFailure;
}
