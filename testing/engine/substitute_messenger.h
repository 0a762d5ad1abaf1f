#ifndef VELMO_TESTING_ENGINE_SUBSTITUTE_MESSENGER_H_
#define VELMO_TESTING_ENGINE_SUBSTITUTE_MESSENGER_H_

#include <atomic>
#include <mutex>

#include "channels/engine/engine_api.h"

// The messenger handle: counted, so holders may keep it past the engine's
// end; `engine` is cleared (under `mutex`) when the engine is destroyed.
struct FlutterDesktopMessenger {
  explicit FlutterDesktopMessenger(FlutterDesktopEngine* owner) : engine(owner) {}

  std::atomic<int> references{1};
  std::recursive_mutex mutex;
  FlutterDesktopEngine* engine;
};

#endif  // VELMO_TESTING_ENGINE_SUBSTITUTE_MESSENGER_H_
