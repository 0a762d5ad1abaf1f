#include "testing/engine/engine_registry.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace substitute_engine {
namespace {

struct LiveEngines {
  std::mutex mutex;
  std::vector<FlutterDesktopEngine*> engines;
};

LiveEngines& Live() {
  static LiveEngines live;
  return live;
}

}  // namespace

void RegisterLiveEngine(FlutterDesktopEngine* engine) {
  std::lock_guard lock(Live().mutex);
  Live().engines.push_back(engine);
}

void UnregisterLiveEngine(FlutterDesktopEngine* engine) {
  std::lock_guard lock(Live().mutex);
  std::erase(Live().engines, engine);
}

void ForEachLiveEngine(const std::function<void(FlutterDesktopEngine*)>& action) {
  std::lock_guard lock(Live().mutex);
  std::for_each(Live().engines.begin(), Live().engines.end(), action);
}

}  // namespace substitute_engine
