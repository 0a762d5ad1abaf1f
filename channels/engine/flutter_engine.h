#ifndef VELMO_CHANNELS_ENGINE_FLUTTER_ENGINE_H_
#define VELMO_CHANNELS_ENGINE_FLUTTER_ENGINE_H_

#include <functional>
#include <memory>
#include <string>

#include "channels/binary_messenger.h"
#include "channels/engine/binary_messenger_impl.h"
#include "channels/engine/engine_api.h"
#include "channels/engine/engine_project.h"
#include "channels/engine/plugin_registry.h"

namespace flutter {

// Owns an engine instance until it is handed over to a view controller, and
// the messenger that all channels use.
class FlutterEngine : public PluginRegistry {
 public:
  // Starts an engine from the project.
  explicit FlutterEngine(const EngineProject& project);
  ~FlutterEngine() override;

  FlutterEngine(const FlutterEngine&) = delete;
  FlutterEngine& operator=(const FlutterEngine&) = delete;

  FlutterDesktopPluginRegistrarRef RegistrarFor(const std::string& plugin_name) override;

  BinaryMessenger* messenger() const { return messenger_.get(); }

  // Gives up ownership of the engine (to a view controller). The handle stays
  // in use for this object's other calls.
  FlutterDesktopEngineRef HandOverEngine();

  void ReloadSystemFonts();

  // Runs `callback` once, after the next frame; replaces a pending one.
  void SetNextFrameCallback(std::function<void()> callback);

 private:
  friend class FlutterViewController;

  // For an engine handed over to a controller that could not be created: the
  // engine library has destroyed it, so this object stops reaching it.
  void ForgetEngine();

  static void OnNextFrame(void* user_data);

  FlutterDesktopEngineRef engine_ = nullptr;
  bool owns_engine_ = true;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
  std::function<void()> next_frame_callback_;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_ENGINE_FLUTTER_ENGINE_H_
