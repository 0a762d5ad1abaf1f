// A minimal host for the channel runtime's end-to-end tests: one window, one
// Flutter view and the echo channels. Every command-line argument goes to the
// engine's entry point. Exit code 1 when the window or view cannot be made.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "channels/engine/engine_project.h"
#include "testing/echo_host/echo_window.h"

namespace {

constexpr int kCreationFailedExitCode = 1;

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
  flutter::EngineProject project;
  project.assets_path = L"data\\flutter_assets";
  project.icu_data_path = L"data\\icudtl.dat";
  project.aot_library_path = L"data\\app.so";
  project.dart_entrypoint_arguments = EntryArguments();

  EchoWindow window;
  if (!window.Create(project)) {
    return kCreationFailedExitCode;
  }
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  window.Destroy();
  return static_cast<int>(message.wParam);
}
