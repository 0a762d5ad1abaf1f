// One stand-in plug-in library: exports the registration entry point the host
// calls and reports the registration to the test driver. Each library is this
// file built with its own entry point and registrar name.
#include "channels/engine/engine_api.h"
#include "testing/plugin_report/plugin_report.h"

#if !defined(VELMO_PLUGIN_ENTRY_POINT) || !defined(VELMO_PLUGIN_REGISTRAR_NAME)
#error "Build with VELMO_PLUGIN_ENTRY_POINT and VELMO_PLUGIN_REGISTRAR_NAME defined"
#endif

extern "C" __declspec(dllexport) void VELMO_PLUGIN_ENTRY_POINT(
    FlutterDesktopPluginRegistrarRef registrar) {
  ReportPluginRegistered(registrar, VELMO_PLUGIN_REGISTRAR_NAME);
}
