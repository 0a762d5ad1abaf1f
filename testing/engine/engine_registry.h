#ifndef VELMO_TESTING_ENGINE_ENGINE_REGISTRY_H_
#define VELMO_TESTING_ENGINE_ENGINE_REGISTRY_H_

#include <functional>

#include "channels/engine/engine_api.h"

namespace substitute_engine {

// The engines alive in this process, for the calls that name no engine.
void RegisterLiveEngine(FlutterDesktopEngine* engine);
void UnregisterLiveEngine(FlutterDesktopEngine* engine);
void ForEachLiveEngine(const std::function<void(FlutterDesktopEngine*)>& action);

}  // namespace substitute_engine

#endif  // VELMO_TESTING_ENGINE_ENGINE_REGISTRY_H_
