#include "host/plugin_registrant.h"

#include <array>

#include "channels/engine/engine_api.h"

// The registration entry points of the plug-in libraries beside the
// executable.
extern "C" {
void AudioplayersWindowsPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void ConnectivityPlusWindowsPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void FileSelectorWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void FlutterSecureStorageWindowsPluginRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
void FlutterWebRTCPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void LiveKitPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
void UrlLauncherWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void WindowManagerPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
}

namespace {

struct Plugin {
  const char* registrar_name;
  void (*register_with_registrar)(FlutterDesktopPluginRegistrarRef registrar);
};

constexpr std::array<Plugin, 9> kPlugins = {{
    {"AudioplayersWindowsPlugin", AudioplayersWindowsPluginRegisterWithRegistrar},
    {"ConnectivityPlusWindowsPlugin", ConnectivityPlusWindowsPluginRegisterWithRegistrar},
    {"FileSelectorWindows", FileSelectorWindowsRegisterWithRegistrar},
    {"FlutterSecureStorageWindowsPlugin", FlutterSecureStorageWindowsPluginRegisterWithRegistrar},
    {"FlutterWebRTCPlugin", FlutterWebRTCPluginRegisterWithRegistrar},
    {"LiveKitPlugin", LiveKitPluginRegisterWithRegistrar},
    {"ScreenRetrieverWindowsPluginCApi", ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar},
    {"UrlLauncherWindows", UrlLauncherWindowsRegisterWithRegistrar},
    {"WindowManagerPlugin", WindowManagerPluginRegisterWithRegistrar},
}};

}  // namespace

void RegisterClientPlugins(flutter::PluginRegistry& registry) {
  for (const Plugin& plugin : kPlugins) {
    plugin.register_with_registrar(registry.RegistrarFor(plugin.registrar_name));
  }
}
