#ifndef VELMO_CHANNELS_ENGINE_FLUTTER_VIEW_CONTROLLER_H_
#define VELMO_CHANNELS_ENGINE_FLUTTER_VIEW_CONTROLLER_H_

#include <memory>
#include <optional>

#include "channels/engine/engine_api.h"
#include "channels/engine/engine_project.h"
#include "channels/engine/flutter_engine.h"
#include "channels/engine/flutter_view.h"

namespace flutter {

// A Flutter view with the engine that drives it. Check view(): it is null
// when the view could not be created, and the engine then is not running.
class FlutterViewController {
 public:
  // Starts an engine from `project` and creates a view of width x height
  // physical pixels for it.
  FlutterViewController(int width, int height, const EngineProject& project);
  virtual ~FlutterViewController();

  FlutterViewController(const FlutterViewController&) = delete;
  FlutterViewController& operator=(const FlutterViewController&) = delete;

  FlutterEngine* engine() const { return engine_.get(); }
  FlutterView* view() const { return view_.get(); }

  // Asks the engine for a new frame.
  void ForceRedraw();

  // Offers a message of the top-level window to the engine; a value means the
  // engine consumed it and the window procedure returns that value.
  std::optional<LRESULT> HandleTopLevelWindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                                  LPARAM lparam);

 private:
  FlutterDesktopViewControllerRef controller_ = nullptr;
  std::shared_ptr<FlutterEngine> engine_;
  std::unique_ptr<FlutterView> view_;
};

}  // namespace flutter

#endif  // VELMO_CHANNELS_ENGINE_FLUTTER_VIEW_CONTROLLER_H_
