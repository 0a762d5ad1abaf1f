#ifndef VELMO_HOST_PLUGIN_REGISTRANT_H_
#define VELMO_HOST_PLUGIN_REGISTRANT_H_

#include "channels/engine/plugin_registry.h"

// Registers the client's nine plug-ins with the engine, each once, in a fixed
// order.
void RegisterClientPlugins(flutter::PluginRegistry& registry);

#endif  // VELMO_HOST_PLUGIN_REGISTRANT_H_
