#include "testing/plugin_report/plugin_report.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr char kPluginRegisteredChannel[] = "velmo.testing/plugin_registered";
constexpr wchar_t kEngineLibrary[] = L"flutter_windows.dll";

using RegistrarGetMessengerFn =
    FlutterDesktopMessengerRef (*)(FlutterDesktopPluginRegistrarRef registrar);
using MessengerSendFn = bool (*)(FlutterDesktopMessengerRef messenger, const char* channel,
                                 const uint8_t* message, size_t message_size);

template <typename Function>
Function LookUp(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

void ReportPluginRegistered(FlutterDesktopPluginRegistrarRef registrar,
                            const char* registrar_name) {
  if (registrar == nullptr || registrar_name == nullptr) {
    return;
  }
  // The engine is already loaded by the host that registers us; no reference
  // is taken, so nothing is freed.
  HMODULE engine = GetModuleHandleW(kEngineLibrary);
  if (engine == nullptr) {
    return;
  }
  auto get_messenger =
      LookUp<RegistrarGetMessengerFn>(engine, "FlutterDesktopPluginRegistrarGetMessenger");
  auto send = LookUp<MessengerSendFn>(engine, "FlutterDesktopMessengerSend");
  if (get_messenger == nullptr || send == nullptr) {
    return;
  }
  FlutterDesktopMessengerRef messenger = get_messenger(registrar);
  if (messenger == nullptr) {
    return;
  }
  send(messenger, kPluginRegisteredChannel, reinterpret_cast<const uint8_t*>(registrar_name),
       std::strlen(registrar_name));
}
