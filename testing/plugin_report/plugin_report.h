#ifndef VELMO_TESTING_PLUGIN_REPORT_PLUGIN_REPORT_H_
#define VELMO_TESTING_PLUGIN_REPORT_PLUGIN_REPORT_H_

#include "channels/engine/engine_api.h"

// Tells the test driver that a stand-in plug-in was registered: sends the
// registrar name's bytes on "velmo.testing/plugin_registered" through the
// registrar's messenger. The substitute engine's extra export is looked up at
// run time, so a plug-in built with this still loads beside any engine; when
// it is missing nothing is sent.
void ReportPluginRegistered(FlutterDesktopPluginRegistrarRef registrar, const char* registrar_name);

#endif  // VELMO_TESTING_PLUGIN_REPORT_PLUGIN_REPORT_H_
