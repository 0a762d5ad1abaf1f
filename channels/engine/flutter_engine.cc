#include "channels/engine/flutter_engine.h"

#include <exception>
#include <utility>
#include <vector>

#include "channels/engine/error_line.h"

namespace flutter {

FlutterEngine::FlutterEngine(const EngineProject& project) {
  std::vector<const char*> arguments;
  arguments.reserve(project.dart_entrypoint_arguments.size());
  for (const std::string& argument : project.dart_entrypoint_arguments) {
    arguments.push_back(argument.c_str());
  }

  FlutterDesktopEngineProperties properties = {};
  properties.assets_path = project.assets_path.c_str();
  properties.icu_data_path = project.icu_data_path.c_str();
  properties.aot_library_path = project.aot_library_path.c_str();
  properties.dart_entrypoint = project.dart_entrypoint.c_str();
  properties.dart_entrypoint_argc = static_cast<int>(arguments.size());
  properties.dart_entrypoint_argv = arguments.empty() ? nullptr : arguments.data();
  properties.gpu_preference = project.gpu_preference;
  properties.ui_thread_policy = project.ui_thread_policy;
  properties.windowing_mode = project.windowing_mode;

  engine_ = FlutterDesktopEngineCreate(&properties);
  FlutterDesktopMessengerRef core_messenger =
      engine_ != nullptr ? FlutterDesktopEngineGetMessenger(engine_) : nullptr;
  messenger_ = std::make_unique<BinaryMessengerImpl>(core_messenger);
}

FlutterEngine::~FlutterEngine() {
  if (engine_ != nullptr && owns_engine_) {
    FlutterDesktopEngineDestroy(engine_);
  }
  engine_ = nullptr;
  // Only now that the engine has stopped delivering messages and frames may
  // the callbacks it was given go.
  next_frame_callback_ = nullptr;
  messenger_.reset();
}

FlutterDesktopPluginRegistrarRef FlutterEngine::RegistrarFor(const std::string& plugin_name) {
  if (engine_ == nullptr) {
    WriteErrorLine("Cannot get plugin registrar on an engine that isn't running; call Run first.");
    return nullptr;
  }
  return FlutterDesktopEngineGetPluginRegistrar(engine_, plugin_name.c_str());
}

FlutterDesktopEngineRef FlutterEngine::HandOverEngine() {
  owns_engine_ = false;
  return engine_;
}

void FlutterEngine::ForgetEngine() {
  engine_ = nullptr;
  messenger_ = std::make_unique<BinaryMessengerImpl>(nullptr);
}

void FlutterEngine::ReloadSystemFonts() {
  if (engine_ != nullptr) {
    FlutterDesktopEngineReloadSystemFonts(engine_);
  }
}

void FlutterEngine::SetNextFrameCallback(std::function<void()> callback) {
  next_frame_callback_ = std::move(callback);
  if (engine_ != nullptr) {
    FlutterDesktopEngineSetNextFrameCallback(engine_, &FlutterEngine::OnNextFrame, this);
  }
}

void FlutterEngine::OnNextFrame(void* user_data) {
  auto* self = static_cast<FlutterEngine*>(user_data);
  // Taken out before it runs: a callback that registers the next one must not
  // have that registration wiped when it returns.
  std::function<void()> callback = std::move(self->next_frame_callback_);
  self->next_frame_callback_ = nullptr;
  if (!callback) {
    return;
  }
  try {
    callback();
  } catch (...) {
    ReportEscapedException("next-frame callback", std::current_exception());
  }
}

}  // namespace flutter
