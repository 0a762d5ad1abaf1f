#ifndef VELMO_CHANNELS_ENGINE_PLUGIN_REGISTRY_H_
#define VELMO_CHANNELS_ENGINE_PLUGIN_REGISTRY_H_

#include <string>

#include "channels/engine/engine_api.h"

namespace flutter {

// Hands out the engine's registrar for a plug-in, by the plug-in's name.
class PluginRegistry {
 public:
  virtual ~PluginRegistry() = default;

  // Null when there is no running engine.
  virtual FlutterDesktopPluginRegistrarRef RegistrarFor(const std::string& plugin_name) = 0;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_ENGINE_PLUGIN_REGISTRY_H_
