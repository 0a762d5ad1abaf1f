#ifndef VELMO_TESTING_ENGINE_PLUGIN_REGISTRAR_API_H_
#define VELMO_TESTING_ENGINE_PLUGIN_REGISTRAR_API_H_

// What the substitute engine offers stand-in plug-in libraries beyond the
// host's interface: the messenger behind a registrar, so a plug-in can send
// messages to the test driver.

#include "channels/engine/engine_api.h"

#ifdef __cplusplus
extern "C" {
#endif

// The messenger of the registrar's engine; null for a null registrar.
VELMO_ENGINE_EXPORT FlutterDesktopMessengerRef
FlutterDesktopPluginRegistrarGetMessenger(FlutterDesktopPluginRegistrarRef registrar);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // VELMO_TESTING_ENGINE_PLUGIN_REGISTRAR_API_H_
