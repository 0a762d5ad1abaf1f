#ifndef VELMO_CHANNELS_ENGINE_ENGINE_PROJECT_H_
#define VELMO_CHANNELS_ENGINE_ENGINE_PROJECT_H_

#include <string>
#include <vector>

namespace flutter {

// What the engine is started from: the asset, ICU and AOT paths (passed to
// the engine as they are, relative paths included), the entry point (empty:
// the default one), its arguments and three engine settings.
struct EngineProject {
  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  std::string dart_entrypoint;
  std::vector<std::string> dart_entrypoint_arguments;
  int gpu_preference = 0;
  int ui_thread_policy = 0;
  int windowing_mode = 0;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_ENGINE_ENGINE_PROJECT_H_
